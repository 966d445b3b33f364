// The gate every delivery of one subscription passes: closing it stops new deliveries and waits
// for those inside to leave, whatever the bus library does with deliveries in flight when it is
// told to unsubscribe. A subscriber may therefore free what its callable uses as soon as its
// unsubscription returns.
//
// Threading: any thread. A delivery on the closing thread itself (a callable that unsubscribes
// its own subscription) is not waited for; it finishes after the close.
#pragma once

#include "common/WinInclude.h"

#include <vector>

namespace Tessel {

class DeliveryGate {
public:
    DeliveryGate() = default;
    DeliveryGate(const DeliveryGate&) = delete;
    DeliveryGate& operator=(const DeliveryGate&) = delete;

    // One delivery inside the gate for its lifetime; false (and nothing to do) once it is closed.
    class Pass {
    public:
        explicit Pass(DeliveryGate& gate) : m_gate(gate), m_entered(gate.enter()) {}
        ~Pass()
        {
            if (m_entered)
                m_gate.leave();
        }
        Pass(const Pass&) = delete;
        Pass& operator=(const Pass&) = delete;
        explicit operator bool() const { return m_entered; }

    private:
        DeliveryGate& m_gate;
        bool m_entered;
    };

    // Lets no delivery in from now on and waits until the deliveries of other threads have left.
    // True when the calling thread is itself inside (its delivery is still running).
    bool close();

private:
    bool enter();
    void leave();
    bool insideOnOtherThreads(DWORD self) const;

    SRWLOCK m_lock = SRWLOCK_INIT;
    CONDITION_VARIABLE m_left = CONDITION_VARIABLE_INIT;
    bool m_closed = false;               // written under m_lock
    std::vector<DWORD> m_insideThreads;  // one entry per delivery inside; written under m_lock
};

} // namespace Tessel
