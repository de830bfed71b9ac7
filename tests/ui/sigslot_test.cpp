// Signals call their slots in connection order, survive slots that disconnect during the emit, and
// drop their connections when either end is destroyed.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ui/toolkit/sigslot.h"

namespace {

std::vector<std::string> g_calls;

class Receiver : public sigslot::has_slots {
public:
    explicit Receiver(std::string name) : m_name(std::move(name)) {}

    void OnSignal() { g_calls.push_back(m_name); }
    void OnValue(int value) { g_calls.push_back(m_name + ":" + std::to_string(value)); }
    void OnThree(int a, int b, Receiver* who) {
        g_calls.push_back(m_name + ":" + std::to_string(a) + "," + std::to_string(b) + "," + who->m_name);
    }
    // Disconnects this receiver from `m_target` when called.
    void DisconnectSelf() {
        g_calls.push_back(m_name);
        m_target->disconnect(this);
    }
    // Destroys `m_victim` when called.
    void DestroyVictim() {
        g_calls.push_back(m_name);
        m_victim.reset();
    }

    sigslot::signal0* m_target = nullptr;
    std::unique_ptr<Receiver> m_victim;

private:
    std::string m_name;
};

// Owns a signal and can be destroyed by one of its slots.
struct Sender {
    sigslot::signal0 fired;
};

class Destroyer : public sigslot::has_slots {
public:
    void DestroySender() {
        g_calls.push_back("destroyer");
        m_sender.reset();
    }
    std::unique_ptr<Sender> m_sender;
};

class SignalTest : public ::testing::Test {
protected:
    void SetUp() override { g_calls.clear(); }
};

TEST_F(SignalTest, SlotsRunInConnectionOrderWithTheirArguments) {
    Receiver first("first"), second("second");
    sigslot::signal0 plain;
    plain.connect(&second, &Receiver::OnSignal);
    plain.connect(&first, &Receiver::OnSignal);
    plain.connect(&second, &Receiver::OnSignal);  // a second connection of the same pair counts
    plain.emit();
    EXPECT_EQ((std::vector<std::string>{"second", "first", "second"}), g_calls);

    g_calls.clear();
    sigslot::signal1<int> one;
    sigslot::signal3<int, int, Receiver*> three;
    one.connect(&first, &Receiver::OnValue);
    three.connect(&second, &Receiver::OnThree);
    one.emit(7);
    three.emit(1, 2, &first);
    EXPECT_EQ((std::vector<std::string>{"first:7", "second:1,2,first"}), g_calls);
}

TEST_F(SignalTest, DisconnectRemovesEveryConnectionOfThatReceiverOnly) {
    Receiver first("first"), second("second");
    sigslot::signal0 plain;
    plain.connect(&first, &Receiver::OnSignal);
    plain.connect(&second, &Receiver::OnSignal);
    plain.connect(&first, &Receiver::OnSignal);
    plain.disconnect(&first);
    plain.emit();
    EXPECT_EQ((std::vector<std::string>{"second"}), g_calls);
    EXPECT_EQ(1u, plain.connection_count());
}

TEST_F(SignalTest, ASlotThatDisconnectsItselfDoesNotDisturbTheRestOfTheEmit) {
    Receiver first("first"), quitter("quitter"), last("last");
    sigslot::signal0 plain;
    quitter.m_target = &plain;
    plain.connect(&first, &Receiver::OnSignal);
    plain.connect(&quitter, &Receiver::DisconnectSelf);
    plain.connect(&last, &Receiver::OnSignal);

    plain.emit();
    EXPECT_EQ((std::vector<std::string>{"first", "quitter", "last"}), g_calls);
    g_calls.clear();
    plain.emit();
    EXPECT_EQ((std::vector<std::string>{"first", "last"}), g_calls);
}

TEST_F(SignalTest, AReceiverDestroyedByAnEarlierSlotIsNotCalled) {
    Receiver killer("killer");
    killer.m_victim = std::make_unique<Receiver>("victim");
    sigslot::signal0 plain;
    plain.connect(&killer, &Receiver::DestroyVictim);
    plain.connect(killer.m_victim.get(), &Receiver::OnSignal);

    plain.emit();
    EXPECT_EQ((std::vector<std::string>{"killer"}), g_calls);
    EXPECT_EQ(1u, plain.connection_count());
}

TEST_F(SignalTest, ASlotMayDestroyTheSignalItIsCalledFrom) {
    Destroyer destroyer;
    Receiver later("later");
    destroyer.m_sender = std::make_unique<Sender>();
    destroyer.m_sender->fired.connect(&destroyer, &Destroyer::DestroySender);
    destroyer.m_sender->fired.connect(&later, &Receiver::OnSignal);

    destroyer.m_sender->fired.emit();
    EXPECT_EQ((std::vector<std::string>{"destroyer"}), g_calls) << "a slot ran after its signal was destroyed";
    EXPECT_EQ(nullptr, destroyer.m_sender);
}

TEST_F(SignalTest, DestroyingAReceiverDropsItsConnections) {
    sigslot::signal0 plain;
    sigslot::signal1<int> one;
    Receiver stays("stays");
    {
        Receiver gone("gone");
        plain.connect(&gone, &Receiver::OnSignal);
        plain.connect(&stays, &Receiver::OnSignal);
        one.connect(&gone, &Receiver::OnValue);
    }
    plain.emit();
    one.emit(3);
    EXPECT_EQ((std::vector<std::string>{"stays"}), g_calls);
    EXPECT_EQ(1u, plain.connection_count());
    EXPECT_EQ(0u, one.connection_count());
}

TEST_F(SignalTest, DestroyingASignalLetsItsReceiversGoWithoutIt) {
    auto receiver = std::make_unique<Receiver>("receiver");
    sigslot::signal0 stays;
    stays.connect(receiver.get(), &Receiver::OnSignal);
    {
        sigslot::signal0 gone;
        gone.connect(receiver.get(), &Receiver::OnSignal);
    }
    // The receiver no longer lists the destroyed signal: its own destruction would otherwise
    // reach into freed memory. It still drops its connection of the living one.
    receiver.reset();
    stays.emit();
    EXPECT_TRUE(g_calls.empty());
    EXPECT_EQ(0u, stays.connection_count());
}

}  // namespace
