#include "toolkit/listener_list.h"

namespace toolkit {

Listening::~Listening() {
    for (ListenerListBase* list : std::vector<ListenerListBase*>(lists_))
        list->remove(*this);
}

ListenerListBase::~ListenerListBase() {
    for (Listening* member : members_)
        std::erase(member->lists_, this);
}

void ListenerListBase::remove(Listening& listener) {
    std::erase(members_, &listener);
    std::erase(listener.lists_, this);
}

void ListenerListBase::insertMember(std::size_t position, Listening& listener) {
    if (contains(listener))
        return;
    members_.insert(members_.begin() + static_cast<std::ptrdiff_t>(position), &listener);
    listener.lists_.push_back(this);
}

} // namespace toolkit
