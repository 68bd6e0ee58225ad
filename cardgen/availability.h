#pragma once
// The start-up check that the word processor can be started at all.

#include "common/modal.h"
#include "engine/backend.h"

#include <functional>

namespace marigal {

// The message shown when no instance can be created.
QString WordUnavailableMessage();

// Creates an application and quits it again. When none can be created, shows
// WordUnavailableMessage() (OK, no icon, the application title), or, when
// the office is there but no folder for its settings can be made, a message
// naming the folders and the reasons; then calls `endApplication`. Any other
// error is ignored.
void CheckWordInstance(engine::Backend& backend, Modal& modal, const QString& appTitle,
                       const std::function<void()>& endApplication);

}  // namespace marigal
