// Base behaviour of the application listener.

#include "shell/application_listener.h"

#include "shell/game_base.h"

// A minimised program comes back to the front when a second copy is started.
void ApplicationListener::on_command_line(const String& /*command_line*/)
{
    if (GameBase* game_base = GameBase::instance())
        game_base->restore();
}
