#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

namespace toolkit {

class ListenerListBase;

// Something a ListenerList tells: destroyed, it leaves every list it is on, so no list ever
// tells a listener that is gone, whichever of the two goes first.
class Listening {
public:
    Listening() = default;
    Listening(const Listening&) = delete;
    Listening& operator=(const Listening&) = delete;
    virtual ~Listening();

private:
    friend class ListenerListBase;
    std::vector<ListenerListBase*> lists_;
};

// The listeners an owner tells, in their order. A listener may be removed at any time, also
// by another listener while the list is telling them: it is not told from then on.
class ListenerListBase {
public:
    ListenerListBase() = default;
    ListenerListBase(const ListenerListBase&) = delete;
    ListenerListBase& operator=(const ListenerListBase&) = delete;
    ~ListenerListBase();

    void remove(Listening& listener);
    bool contains(const Listening& listener) const {
        return std::find(members_.begin(), members_.end(), &listener) != members_.end();
    }

protected:
    void insertMember(std::size_t position, Listening& listener);
    // The members as the round starts; each is told only if still listed when its turn comes.
    template <class Tell> void forEachMember(Tell tell) const {
        const std::vector<Listening*> round = members_;
        for (Listening* member : round) {
            if (contains(*member))
                tell(member);
        }
    }
    std::size_t memberCount() const { return members_.size(); }

private:
    std::vector<Listening*> members_;
};

template <class Listener> class ListenerList : public ListenerListBase {
public:
    // A listener already on the list keeps its place.
    void append(Listener& listener) { insertMember(memberCount(), listener); }
    void prepend(Listener& listener) { insertMember(0, listener); }

    template <class Tell> void forEach(Tell tell) const {
        forEachMember([&tell](Listening* member) { tell(*static_cast<Listener*>(member)); });
    }
};

} // namespace toolkit
