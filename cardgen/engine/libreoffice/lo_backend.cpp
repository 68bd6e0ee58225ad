#include "libreoffice/lo_backend.h"

#include "libreoffice/lo_application.h"
#include "libreoffice/office_session.h"
#include "libreoffice/quitting_offices.h"

namespace marigal::engine {

void WaitForQuittingOffices()
{
    lo::QuittingOffices::waitAll();
}

LibreOfficeBackend::LibreOfficeBackend(LibreOfficeOptions options) : options_(std::move(options)) {}

LibreOfficeBackend::~LibreOfficeBackend()
{
    WaitForQuittingOffices();
}

Object LibreOfficeBackend::create(const std::u16string& progId16)
{
    // Class names are matched without regard to case, as the platform does.
    if (Q(progId16).compare(Q(kWordProgId), Qt::CaseInsensitive) != 0) throw EngineError(errtext::kCannotCreate);
    return Object(lo::LoApplication::create(lo::OfficeSession::start(options_)));
}

}  // namespace marigal::engine
