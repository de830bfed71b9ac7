#pragma once

// Signals and slots for the widget tree: a widget's signal calls member functions of the objects
// connected to it, in the order they were connected. Single-threaded: every signal and every
// receiver belongs to the thread that owns the window.
//
// A receiver derives from has_slots; destroying either end drops the connections between them,
// so neither side has to disconnect by hand. A slot may disconnect any connection, even its own,
// or destroy the signal's owner while the signal is being emitted.

#include <list>
#include <memory>
#include <set>

namespace sigslot {

// The locking policy: nothing to lock on one thread.
class single_threaded {
public:
    virtual ~single_threaded() = default;
    virtual void lock() {}
    virtual void unlock() {}
};

// Holds the policy's lock for one scope.
class lock_block {
public:
    explicit lock_block(single_threaded* policy) : m_policy(policy) { m_policy->lock(); }
    ~lock_block() { m_policy->unlock(); }
    lock_block(const lock_block&) = delete;
    lock_block& operator=(const lock_block&) = delete;

private:
    single_threaded* m_policy;
};

class has_slots;

// Any signal, as its receivers see it.
class _signal_base : public single_threaded {
public:
    // Drops every connection aimed at `receiver`; leaves the receiver's own set alone.
    virtual void slot_disconnect(has_slots* receiver) = 0;
    // Appends, for every connection aimed at `oldReceiver`, a copy aimed at `newReceiver`.
    virtual void slot_duplicate(const has_slots* oldReceiver, has_slots* newReceiver) = 0;
};

// Anything that can receive signals. It remembers the signals connected to it, so that its
// destruction can drop those connections.
class has_slots : public single_threaded {
public:
    has_slots() = default;
    // A copy receives whatever the original receives.
    has_slots(const has_slots& other) : single_threaded() {
        lock_block lock(this);
        for (_signal_base* sender : other.m_senders) {
            sender->slot_duplicate(&other, this);
            m_senders.insert(sender);
        }
    }
    has_slots& operator=(const has_slots&) = delete;
    ~has_slots() override { disconnect_all(); }

    void signal_connect(_signal_base* sender) {
        lock_block lock(this);
        m_senders.insert(sender);
    }
    void signal_disconnect(_signal_base* sender) {
        lock_block lock(this);
        m_senders.erase(sender);
    }
    void disconnect_all() {
        lock_block lock(this);
        for (_signal_base* sender : m_senders) sender->slot_disconnect(this);
        m_senders.clear();
    }

private:
    // The signals that hold at least one connection to this object (not owned).
    std::set<_signal_base*> m_senders;
};

// One connection of a signal with the argument list Args.
template <typename... Args>
class _connection_base {
public:
    virtual ~_connection_base() = default;
    virtual has_slots* getdest() const = 0;
    virtual void emit(Args... args) = 0;
    virtual std::unique_ptr<_connection_base> clone() const = 0;
    virtual std::unique_ptr<_connection_base> duplicate(has_slots* newReceiver) const = 0;

    // Set when the connection was dropped while its signal was being emitted; it is then skipped
    // and freed once the emit is over.
    bool m_dropped = false;
};

// A connection to member function `slot` of a `Receiver`.
template <typename Receiver, typename... Args>
class _connection : public _connection_base<Args...> {
public:
    using Slot = void (Receiver::*)(Args...);

    _connection(Receiver* receiver, Slot slot) : m_receiver(receiver), m_slot(slot) {}

    has_slots* getdest() const override { return m_receiver; }
    void emit(Args... args) override { (m_receiver->*m_slot)(args...); }
    std::unique_ptr<_connection_base<Args...>> clone() const override {
        return std::make_unique<_connection>(m_receiver, m_slot);
    }
    std::unique_ptr<_connection_base<Args...>> duplicate(has_slots* newReceiver) const override {
        return std::make_unique<_connection>(static_cast<Receiver*>(newReceiver), m_slot);
    }

private:
    Receiver* m_receiver;
    Slot m_slot;
};

// A signal with the argument list Args; signal0, signal1 and signal3 below name the ones in use.
template <typename... Args>
class signal : public _signal_base {
public:
    signal() = default;
    signal(const signal& other) : _signal_base() {
        lock_block lock(this);
        for (const auto& connection : other.m_connected) {
            if (connection->m_dropped) continue;
            connection->getdest()->signal_connect(this);
            m_connected.push_back(connection->clone());
        }
    }
    signal& operator=(const signal&) = delete;

    ~signal() override {
        disconnect_all();
        // An emit further up the stack learns here that the signal is gone.
        if (m_emitting) *m_emitting = false;
    }

    // Appends a connection; connecting the same pair twice makes two connections.
    template <typename Receiver>
    void connect(Receiver* receiver, void (Receiver::*slot)(Args...)) {
        lock_block lock(this);
        m_connected.push_back(std::make_unique<_connection<Receiver, Args...>>(receiver, slot));
        receiver->signal_connect(this);
    }

    // Removes every connection to `receiver`.
    void disconnect(has_slots* receiver) {
        lock_block lock(this);
        DropWhere([receiver](const _connection_base<Args...>& c) { return c.getdest() == receiver; });
        receiver->signal_disconnect(this);
    }

    void disconnect_all() {
        lock_block lock(this);
        for (const auto& connection : m_connected) {
            if (!connection->m_dropped) connection->getdest()->signal_disconnect(this);
        }
        m_connected.clear();
    }

    // Calls every connection's slot in the order the connections were made.
    // The walk moves on before each call, and dropped connections stay in the list (skipped)
    // until the outermost emit is over, so a slot may disconnect anything.
    void emit(Args... args) {
        lock();
        // Shared with the destructor: a slot may destroy the object that owns this signal, and
        // then nothing of it may be touched again, not even to unlock.
        std::shared_ptr<bool> alive = m_emitting;
        if (!alive) alive = m_emitting = std::make_shared<bool>(true);
        ++m_emitDepth;
        for (auto next = m_connected.begin(); next != m_connected.end();) {
            auto current = next++;
            if ((*current)->m_dropped) continue;
            (*current)->emit(args...);
            if (!*alive) return;
        }
        if (--m_emitDepth == 0) {
            m_connected.remove_if([](const auto& connection) { return connection->m_dropped; });
            m_emitting.reset();
        }
        unlock();
    }
    void operator()(Args... args) { emit(args...); }

    size_t connection_count() const {
        size_t count = 0;
        for (const auto& connection : m_connected) count += connection->m_dropped ? 0 : 1;
        return count;
    }

    void slot_disconnect(has_slots* receiver) override {
        lock_block lock(this);
        DropWhere([receiver](const _connection_base<Args...>& c) { return c.getdest() == receiver; });
    }

    void slot_duplicate(const has_slots* oldReceiver, has_slots* newReceiver) override {
        lock_block lock(this);
        std::list<std::unique_ptr<_connection_base<Args...>>> copies;
        for (const auto& connection : m_connected) {
            if (!connection->m_dropped && connection->getdest() == oldReceiver) {
                copies.push_back(connection->duplicate(newReceiver));
            }
        }
        m_connected.splice(m_connected.end(), copies);
    }

private:
    // Frees the matching connections, or, while an emit walks the list, marks them to be skipped
    // and freed when it is over.
    template <typename Predicate>
    void DropWhere(Predicate matches) {
        for (auto it = m_connected.begin(); it != m_connected.end();) {
            if ((*it)->m_dropped || !matches(**it)) {
                ++it;
            } else if (m_emitDepth > 0) {
                (*it)->m_dropped = true;
                ++it;
            } else {
                it = m_connected.erase(it);
            }
        }
    }

    std::list<std::unique_ptr<_connection_base<Args...>>> m_connected;
    int m_emitDepth = 0;
    std::shared_ptr<bool> m_emitting;
};

using signal0 = signal<>;
template <typename A1>
using signal1 = signal<A1>;
template <typename A1, typename A2, typename A3>
using signal3 = signal<A1, A2, A3>;

}  // namespace sigslot
