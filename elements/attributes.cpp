#include "elements/attributes.h"

const String& no_string()
{
    static const String empty;
    return empty;
}

bool get_flag(const Properties& skin, const SkinNode* node, StringView key)
{
    return skin.get_int(node, key, 0) != 0;
}

String get_translated(const Properties& skin, const SkinNode* node, StringView key)
{
    const String& text_key = skin.get_string(node, key, no_string());
    return text_key.empty() ? String() : skin.translate(text_key);
}
