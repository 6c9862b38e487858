// A list of observers of one kind of event: every front end that cares subscribes on its
// own and leaves when it goes, instead of sharing one callback that the last setter would
// overwrite.
#pragma once

#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace tqv {

template <class... Args>
class Observers {
public:
    using Fn = std::function<void(Args...)>;

    // Returns the id that remove() takes.
    int add(Fn fn) {
        list_.push_back({++next_id_, std::make_shared<Fn>(std::move(fn))});
        return next_id_;
    }
    void remove(int id) {
        std::erase_if(list_, [id](const Entry& e) { return e.id == id; });
    }
    bool empty() const { return list_.empty(); }

    // An observer may add or remove observers while it is called; one removed meanwhile is
    // not called any more.
    void operator()(Args... args) const {
        if (list_.empty()) return;
        const std::vector<Entry> snapshot = list_;
        for (const Entry& e : snapshot) {
            if (!contains(e.id)) continue;
            (*e.fn)(args...);
        }
    }

private:
    struct Entry {
        int id;
        std::shared_ptr<Fn> fn;
    };
    bool contains(int id) const {
        for (const Entry& e : list_)
            if (e.id == id) return true;
        return false;
    }
    std::vector<Entry> list_;
    int next_id_ = 0;
};

// Leaves the observer list when it goes out of scope.
class Subscription {
public:
    Subscription() = default;
    template <class... Args>
    Subscription(Observers<Args...>& list, typename Observers<Args...>::Fn fn)
        : leave_([&list, id = list.add(std::move(fn))] { list.remove(id); }) {}
    Subscription(Subscription&& other) noexcept : leave_(std::exchange(other.leave_, {})) {}
    Subscription& operator=(Subscription&& other) noexcept {
        if (this != &other) {
            reset();
            leave_ = std::exchange(other.leave_, {});
        }
        return *this;
    }
    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;
    ~Subscription() { reset(); }
    void reset() {
        if (leave_) std::exchange(leave_, {})();
    }
    // Forgets the list without leaving it: the list itself has gone.
    void release() { leave_ = {}; }

private:
    std::function<void()> leave_;
};

}  // namespace tqv
