#include "library/folder.h"

String directory_of(StringView path)
{
    const std::size_t last = path.find_last_of(u"\\/");
    if (last == StringView::npos)
        return String();
    return String(path.substr(0, last + 1));
}
