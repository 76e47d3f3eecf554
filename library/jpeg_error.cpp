#include "library/jpeg_error.h"

#include "platform/log.h"

namespace {

// A fatal error must not end the process: it returns to the setjmp of the
// operation in progress, which reports failure and leaves the object for
// its owner to destroy.
[[noreturn]] void jump_on_error(j_common_ptr info)
{
    char message[JMSG_LENGTH_MAX];
    info->err->format_message(info, message);
    log() << "JPEG error: " << message << "\n";
    std::longjmp(reinterpret_cast<JpegErrorManager*>(info->err)->jump, 1);
}

// Warnings and traces go to the standard error output; decoding goes on.
void print_message(j_common_ptr info)
{
    char message[JMSG_LENGTH_MAX];
    info->err->format_message(info, message);
    std::fprintf(stderr, "%s\n", message);
}

}  // namespace

jpeg_error_mgr* install_jpeg_error_manager(JpegErrorManager& manager)
{
    jpeg_std_error(&manager.base);
    manager.base.error_exit = jump_on_error;
    manager.base.output_message = print_message;
    return &manager.base;
}
