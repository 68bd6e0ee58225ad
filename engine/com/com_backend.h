#pragma once
// The word processor on Windows: Word itself, created by class name and
// driven late-bound over COM automation (IDispatch). This header stays free
// of the Windows headers so that callers need not see them.
//
// COM is set up for the creating thread as a single-threaded apartment; the
// backend and every object reached through it belong to that thread and must
// be used and released there. COM stays set up until the backend and the
// last of its objects are gone.

#include "engine/backend.h"

#include <memory>

namespace marigal::engine {

namespace com {
class ComApartment;
}

class ComBackend : public Backend {
public:
    ComBackend();
    ~ComBackend() override;

    // Raises "ActiveX component can't create object" when the class is not
    // registered or its server does not start.
    Object create(const std::u16string& progId) override;

private:
    std::shared_ptr<com::ComApartment> apartment_;
};

}  // namespace marigal::engine
