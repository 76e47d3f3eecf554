#include "shell/active.h"

#include <string>
#include "platform/log.h"

namespace {

std::atomic<int> g_next_active_id{0};

}  // namespace

CActive::CActive() : m_id(g_next_active_id++) {}

CActive::~CActive()
{
    if (m_active.load()) {
        std::string message = "Active object " + std::to_string(m_id) + " is already active";
        fatal_error(message.c_str(), "CActive::~CActive()");
    }
}
