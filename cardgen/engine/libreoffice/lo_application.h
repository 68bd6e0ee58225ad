#pragma once
// Word's Application object, played by one private office session.

#include "libreoffice/member_table.h"
#include "libreoffice/office_session.h"
#include "object.h"

#include <memory>

namespace marigal::engine::lo {

class LoApplication : public Dispatch {
public:
    explicit LoApplication(std::shared_ptr<OfficeSession> session);

    // Once the office is gone (quit, crashed or killed as hung) every member
    // raises "The remote server machine does not exist or is unavailable".
    Value invoke(const std::u16string& member, InvokeKind kind, const Args& args) override;

    // Objects handed out by this one keep the session alive with it.
    const std::shared_ptr<OfficeSession>& session() const { return session_; }

private:
    static const MemberTable<LoApplication>& members();

    Value quit(InvokeKind, const Args& args);

    std::shared_ptr<OfficeSession> session_;
};

}  // namespace marigal::engine::lo
