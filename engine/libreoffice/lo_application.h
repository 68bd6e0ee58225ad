#pragma once
// Word's Application object, played by one private office session.

#include "engine/libreoffice/lo_word.h"
#include "engine/libreoffice/member_table.h"
#include "engine/libreoffice/office_session.h"
#include "engine/object.h"

#include <memory>

namespace marigal::engine::lo {

class LoApplication : public Dispatch, public std::enable_shared_from_this<LoApplication> {
public:
    // Starts nothing: the session is already running.
    // `copied` receives what Range.CopyAsPicture draws.
    static std::shared_ptr<LoApplication> create(std::shared_ptr<OfficeSession> session,
                                                 std::shared_ptr<CopiedPictures> copied);

    // Once the office is gone (quit, crashed or killed as hung) every member
    // raises "The remote server machine does not exist or is unavailable".
    Value invoke(const std::u16string& member, InvokeKind kind, const Args& args) override;

    // Objects handed out by this one keep the session alive with it.
    const std::shared_ptr<OfficeSession>& session() const { return session_; }

private:
    LoApplication(std::shared_ptr<OfficeSession> session, std::shared_ptr<CopiedPictures> copied);
    static const MemberTable<LoApplication>& members();

    Value quit(InvokeKind, const Args& args);
    Value documents(InvokeKind, const Args&) { return word_.documents(); }
    Value activeDocument(InvokeKind, const Args&) { return word_.activeDocument(); }
    Value selection(InvokeKind, const Args&) { return word_.selection(); }
    Value displayAlerts(InvokeKind kind, const Args& args);

    std::shared_ptr<OfficeSession> session_;
    WordDocuments word_;
};

}  // namespace marigal::engine::lo
