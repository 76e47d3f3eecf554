#include "skin/orientation_observer.h"

#include <algorithm>
#include <vector>

namespace {

// Plain pointers in registration order; used on the user-interface thread only.
std::vector<OrientationObserver*>& observers()
{
    static std::vector<OrientationObserver*> list;
    return list;
}

}  // namespace

OrientationObserver::OrientationObserver()
{
    observers().push_back(this);
}

OrientationObserver::~OrientationObserver()
{
    auto& list = observers();
    list.erase(std::find(list.begin(), list.end(), this));
}

void OrientationObserver::notify_all()
{
    // A copy, so an observer may create or destroy observers while notified.
    const std::vector<OrientationObserver*> current = observers();
    for (OrientationObserver* observer : current) {
        if (std::find(observers().begin(), observers().end(), observer) != observers().end())
            observer->on_orientation_changed();
    }
}
