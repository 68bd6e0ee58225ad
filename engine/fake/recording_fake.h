#pragma once
// A backend for unit tests: it records every call made on its objects, one
// line each in a canonical text form, and fails the calls it is told to.
//
//   get:    ActiveDocument.Shapes("Text Box 2")
//   method: ActiveDocument.Shapes("Text Box 2").Select()
//   put:    DisplayAlerts = False
//   named:  ...InlineShapes.AddPicture(filename:="a.jpg", LinkToFile:=False, SaveWithDocument:=True)
//
// A method's result is an object named after its call, so a document opened
// by Documents.Open(...) records its own calls as `Documents.Open(...).SaveAs(...)`.
//
// Numbers show their width (`4%` 16-bit, `5&` 32-bit) and a string passed by
// reference is marked `&"..."`, so a test sees the argument kinds too.

#include "engine/backend.h"

#include <QStringList>

#include <functional>
#include <map>
#include <optional>
#include <memory>

namespace marigal::engine {

class RecordingFake : public Backend {
public:
    Object create(const std::u16string& progId) override;

    // Makes create() fail, as when the application cannot be started.
    bool failCreate = false;
    // A call whose line equals `line` raises EngineError(description).
    void failOn(const QString& line, const QString& description) { failures_[line] = description; }

    // Answers a get or a method with a value rather than an object: called
    // with the recorded line; nothing means the usual answer. Without it, a
    // value member of Word answers a value of its kind (Overflowing False,
    // a size 12 points, a count 5, a position 0).
    std::function<std::optional<Value>(const QString& line)> answer;

    // Called after each recorded call that did not fail (create included),
    // to play the office's part where a test needs it (a file written by
    // SaveAs, say), or the user's (input that arrives while a call blocks).
    std::function<void(const QString& line, const Args& args)> onCall;

    // Every recorded line, in order (create itself records `CreateObject("...")`).
    const QStringList& calls() const { return *calls_; }
    void clear() { calls_->clear(); }
    // Applications created and not yet quit.
    int running() const { return *running_; }

private:
    friend class FakeDispatch;
    std::shared_ptr<QStringList> calls_ = std::make_shared<QStringList>();
    std::shared_ptr<int> running_ = std::make_shared<int>(0);
    std::map<QString, QString> failures_;
};

}  // namespace marigal::engine
