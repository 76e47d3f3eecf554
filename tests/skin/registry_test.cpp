// The element type registry and the node errors it raises.

#include <exception>
#include <gtest/gtest.h>
#include <type_traits>
#include "skin/element_type_registry.h"
#include "skin/plexor.h"

// Elements are built above the skin engine; these factories stand at the
// registry's boundary and report what they were given instead of building one.
static Element* last_parent = nullptr;
static int calls_of_first = 0;
static int calls_of_second = 0;

static Element* first_factory(Element& parent)
{
    ++calls_of_first;
    last_parent = &parent;
    return &parent;
}

static Element* second_factory(Element& parent)
{
    ++calls_of_second;
    return &parent;
}

class RegistryTest : public testing::Test {
protected:
    void SetUp() override
    {
        last_parent = nullptr;
        calls_of_first = calls_of_second = 0;
    }
    Element& parent() { return *reinterpret_cast<Element*>(&m_parent_storage); }

    ElementTypeRegistry m_registry;
    alignas(16) unsigned char m_parent_storage[16] = {};
};

TEST_F(RegistryTest, CreatesThroughTheFactoryRegisteredUnderTheName)
{
    m_registry.register_type(u"node", first_factory);
    m_registry.register_type(u"nodes", second_factory);
    EXPECT_EQ(m_registry.create(u"node", parent()), &parent());
    EXPECT_EQ(last_parent, &parent());
    EXPECT_EQ(calls_of_first, 1);
    EXPECT_EQ(calls_of_second, 0);
    EXPECT_TRUE(m_registry.is_registered(u"nodes"));
    EXPECT_FALSE(m_registry.is_registered(u"Node"));  // names are case-sensitive
}

TEST_F(RegistryTest, SecondRegistrationThrowsAndKeepsTheFirst)
{
    m_registry.register_type(u"button", first_factory);
    try {
        m_registry.register_type(u"button", second_factory);
        FAIL() << "no exception";
    } catch (const plexor::NodeAlreadyRegistered& error) {
        EXPECT_EQ(error.type_name(), u"button");
        EXPECT_EQ(error.message(), u"NodeAlreadyRegistered: button");
    }
    m_registry.create(u"button", parent());
    EXPECT_EQ(calls_of_first, 1);
    EXPECT_EQ(calls_of_second, 0);
}

TEST_F(RegistryTest, UnknownAndEmptyTypesThrowNodeNotRegistered)
{
    m_registry.register_type(u"node", first_factory);
    for (const char16_t* name : {u"vlist", u"", u"nod", u"node "}) {
        try {
            m_registry.create(name, parent());
            FAIL() << "no exception";
        } catch (const plexor::NodeNotRegistered& error) {
            EXPECT_EQ(error.type_name(), name);
        }
    }
    EXPECT_EQ(calls_of_first, 0);
}

TEST_F(RegistryTest, UnregisteredKindsCanBeRegisteredAgain)
{
    m_registry.register_type(u"bigpicture", first_factory);
    EXPECT_TRUE(m_registry.unregister_type(u"bigpicture"));
    EXPECT_FALSE(m_registry.unregister_type(u"bigpicture"));
    EXPECT_THROW(m_registry.create(u"bigpicture", parent()), plexor::NodeNotRegistered);
    m_registry.register_type(u"bigpicture", second_factory);
    m_registry.create(u"bigpicture", parent());
    EXPECT_EQ(calls_of_second, 1);
}

TEST(RegistryGlobal, OneRegistryForTheProgram)
{
    EXPECT_EQ(&ElementTypeRegistry::instance(), &ElementTypeRegistry::instance());
}

TEST(PlexorErrors, CarryTheirNamesAndShareNoBase)
{
    const plexor::NodeNotFoundInSkin not_in_skin(u"AlbumElement");
    EXPECT_EQ(not_in_skin.node_name(), u"AlbumElement");
    EXPECT_EQ(not_in_skin.message(), u"NodeNotFoundInSkin: AlbumElement");

    const plexor::NodeNotFound not_found(u"Main", u"btnSearch");
    EXPECT_EQ(not_found.searched_id(), u"Main");
    EXPECT_EQ(not_found.wanted_id(), u"btnSearch");
    EXPECT_EQ(not_found.message(), u"NodeNotFound: btnSearch in Main");

    static_assert(!std::is_base_of_v<std::exception, plexor::NodeNotFound>);
    static_assert(!std::is_base_of_v<std::exception, plexor::NodeNotFoundInSkin>);
    static_assert(!std::is_base_of_v<std::exception, plexor::NodeNotRegistered>);
    static_assert(!std::is_base_of_v<std::exception, plexor::NodeAlreadyRegistered>);
    static_assert(!std::is_base_of_v<plexor::NodeNotFound, plexor::NodeNotFoundInSkin>);
}

TEST(PlexorErrors, ThrownByValueAndCaughtByTheirOwnClassOnly)
{
    bool caught_other = false;
    try {
        try {
            throw plexor::NodeNotFoundInSkin(u"Folder");
        } catch (const plexor::NodeNotRegistered&) {
            caught_other = true;
        }
    } catch (plexor::NodeNotFoundInSkin error) {
        EXPECT_EQ(error.node_name(), u"Folder");
    }
    EXPECT_FALSE(caught_other);
}
