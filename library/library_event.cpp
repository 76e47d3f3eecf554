#include "library/library_event.h"

#include "library/photo_library.h"

LibraryObserver::~LibraryObserver()
{
    if (PhotoLibrary* library = PhotoLibrary::instance())
        library->remove_observer(this);
}

void LibraryObserver::on_library_event(const LibraryEvent&) {}
