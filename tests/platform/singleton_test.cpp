// The process-wide single object: a second one ends the process with the
// fatal line, and the slot is free again once the first is gone.

#include <gtest/gtest.h>
#include "platform/singleton.h"
#include "tests/fatal_log.h"

namespace {

class Only : public Singleton<Only> {};

class SingletonDeathTest : public testing::Test {
protected:
    void SetUp() override { m_log.open(); }
    void TearDown() override { m_log.close(); }

    FatalLog m_log;
};

}  // namespace

TEST_F(SingletonDeathTest, ASecondObjectEndsTheProcessAndTheFirstFreesItsSlot)
{
    EXPECT_EXIT(
        {
            Only first;
            Only second;
            std::exit(3);
        },
        testing::ExitedWithCode(0), "");
    EXPECT_TRUE(m_log.has("Gluck: Singleton is already instantiated @ Singleton::Singleton\\(\\)\\n$")) << m_log.text();

    {
        Only first;
        EXPECT_EQ(Only::instance(), &first);
    }
    EXPECT_EQ(Only::instance(), nullptr);
    Only again;
    EXPECT_EQ(Only::instance(), &again);
}
