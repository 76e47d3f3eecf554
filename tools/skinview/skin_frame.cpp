#include "skin_frame.h"

#include <filesystem>
#include <fstream>
#include "elements/attributes.h"
#include "elements/element_types.h"
#include "pixels/bmp_writer.h"
#include "pixels/render_draw.h"
#include "skin/element_type_registry.h"
#include "skin/plexor.h"
#include "skin_compiler.h"
#include "skin_description.h"

void ensure_element_types()
{
    ElementTypeRegistry& registry = ElementTypeRegistry::instance();
    if (!registry.is_registered(u"node"))
        register_element_types(registry);
}

bool load_skin_description(Properties& skin, std::string_view source, const std::string& folder,
                           const std::string& bitmap_folder, std::string& error)
{
    namespace fs = std::filesystem;
    std::vector<std::uint8_t> bytes;
    if (!compile_skin(source, "description", bytes, error))
        return false;
    std::error_code failed;
    fs::create_directories(folder, failed);
    if (!bitmap_folder.empty()) {
        for (const String& name : parse_skin_description(source).bitmap_names) {
            fs::path from = fs::path(bitmap_folder) / (to_utf8(name) + ".bmp");
            fs::copy_file(from, fs::path(folder) / from.filename(), fs::copy_options::overwrite_existing, failed);
        }
    }
    std::string path = (fs::path(folder) / "skinview.skin").string();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (skin.load_skin(from_utf8(path), 96))
        return true;
    error = "the compiled skin does not load (a bitmap is missing or not 16-bit)";
    return false;
}

SkinRow::SkinRow(Properties& skin, const SkinNode* node) : ListRow(nullptr)
{
    bind(skin, node);
}

void SkinRow::fill(VirtualList&, bool)
{
    ++m_fills;
    set_text_by_id(u"#text", u"Row " + to_string16(index()));
}

SkinRowAdapter::SkinRowAdapter(Properties& skin, const SkinNode* row_node) : m_skin(skin), m_row_node(row_node) {}

void SkinRowAdapter::on_row_activated(VirtualList&, int index)
{
    m_activated.push_back(index);
}

ListRow* SkinRowAdapter::create_row(VirtualList&, int index)
{
    if (index == m_missing || !m_row_node)
        return nullptr;
    return new SkinRow(m_skin, m_row_node);
}

SkinFrame::SkinFrame(Properties& skin) : m_skin(skin), m_root(std::make_unique<Element>(nullptr))
{
    ensure_element_types();
}

void SkinFrame::load(StringView node_name)
{
    if (!m_root->load_from_node(m_skin, node_name))
        throw plexor::NodeNotFoundInSkin(String(node_name));
}

void SkinFrame::fill_lists(StringView row_node_name, int count)
{
    const SkinNode* row_node = m_skin.find_node(row_node_name);
    if (!row_node)
        throw plexor::NodeNotFoundInSkin(String(row_node_name));
    std::vector<Element*> pending{m_root.get()};
    while (!pending.empty()) {
        Element* element = pending.back();
        pending.pop_back();
        if (auto* list = dynamic_cast<VirtualList*>(element)) {
            m_adapters.push_back(std::make_unique<SkinRowAdapter>(m_skin, row_node));
            list->reset(count);
            list->set_adapter(m_adapters.back().get());
        }
        pending.insert(pending.end(), element->children().begin(), element->children().end());
    }
}

void SkinFrame::lay_out(Size size)
{
    m_size = size;
    m_root->set_horizontal(0, size.width);
    m_root->set_vertical(0, size.height);
}

void SkinFrame::step(double seconds)
{
    m_root->update(seconds);
    lay_out(m_size);
}

const PixelBuffer* SkinFrame::draw()
{
    m_surface.recreate(m_size);
    if (!m_surface.buffer())
        return nullptr;
    fill_rect(m_surface, Rect::of({0, 0}, m_size), 0);
    m_root->draw(m_surface, {0, 0});
    return m_surface.buffer();
}

bool SkinFrame::write_bmp(const std::string& path)
{
    const PixelBuffer* pixels = draw();
    return pixels && write_bmp_565(from_utf8(path), *pixels);
}
