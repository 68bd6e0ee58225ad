#pragma once
// Offices that have agreed to quit and are writing their profiles on the way
// out. A thread of their own waits for each to end (killing it at its
// deadline), reaps it and removes what it left, so that the program need not
// wait; its profile slot stays taken until then, so no other office starts
// on that profile meanwhile.

#include "engine/libreoffice/office_process.h"
#include "engine/libreoffice/profile_slot.h"

#include <memory>

namespace marigal::engine::lo {

class QuittingOffices {
public:
    static void adopt(std::unique_ptr<OfficeProcess> process, std::unique_ptr<ProfileSlot> slot,
                      OfficeProcess::Clock::time_point deadline);
    // Returns once every office handed over has ended and is cleaned up
    // (each is bounded by its deadline).
    static void waitAll();
};

}  // namespace marigal::engine::lo
