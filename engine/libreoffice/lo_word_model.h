#pragma once
// What the emulated Word objects of one application share: its documents,
// each one's selection, the base of every object, and how one kind of object
// makes another that lives in another file.

#include "engine/libreoffice/lo_word.h"

#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextCursor.hpp>
#include <com/sun/star/text/XTextFrame.hpp>
#include <com/sun/star/text/XTextRange.hpp>
#include <com/sun/star/drawing/XShape.hpp>

#include <QString>

#include <memory>
#include <vector>

namespace marigal::engine::lo {

// Word measures in points, the office in hundredths of a millimetre.
inline constexpr double kHundredthsPerPoint = 2540.0 / 72.0;


using css::uno::Any;
using css::uno::Reference;
using css::uno::Sequence;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;
namespace text = css::text;

// ---------------------------------------------------------------------------
// Shared state of one application: its documents and each one's selection.

struct Selection {
    // The selected text (collapsed or not); empty when only a shape without
    // text is selected.
    Reference<text::XTextCursor> cursor;
    // The text box the selection is in, or that is selected; empty in the body.
    Reference<text::XTextFrame> frame;
};

struct DocEntry {
    Reference<css::lang::XComponent> doc;
    Selection sel;
    QString fileKey;  // its file, for what loads of the same file share; empty: none
    // The PDF its last Range.CopyAsPicture was drawn from, while the document
    // is unchanged since (in the office's temporary folder); empty: none.
    QString pagesPdf;
};

struct WordState {
    std::shared_ptr<OfficeSession> session;
    std::shared_ptr<CopiedPictures> copied;
    std::weak_ptr<Dispatch> application;
    std::vector<std::shared_ptr<DocEntry>> docs;  // the last one is the active document
    std::int32_t alerts = -1;                     // wdAlertsAll

    std::shared_ptr<DocEntry> active() const
    {
        if (docs.empty()) throw EngineError(errtext::kNoDocument);
        return docs.back();
    }
};

// ---------------------------------------------------------------------------
// The objects. Each is a Dispatch with a member table; calls run through the
// session so a dead or hung office becomes an error.

template <class Self>
class WordObject : public Dispatch {
public:
    explicit WordObject(std::shared_ptr<WordState> state) : state_(std::move(state)) {}

    Value invoke(const std::u16string& member, InvokeKind kind, const Args& args) override
    {
        state_->session->ensureAlive();
        return Self::members().invoke(static_cast<Self&>(*this), Q(member), kind, args);
    }

    template <class F>
    auto callOnSession(F&& f)
    {
        return call(std::forward<F>(f));
    }
    template <class T, class... A>
    Value makeObject(A&&... a)
    {
        return make<T>(std::forward<A>(a)...);
    }

protected:
    template <class F>
    auto call(F&& f)
    {
        return state_->session->call(std::forward<F>(f));
    }
    template <class T, class... A>
    Value make(A&&... a)
    {
        return Value::object(std::make_shared<T>(state_, std::forward<A>(a)...));
    }

    std::shared_ptr<WordState> state_;
};

inline constexpr unsigned kGetOrCall = kGet | kMethod;

// A document that has been closed answers nothing any more.
inline Reference<css::lang::XComponent> Live(const std::shared_ptr<DocEntry>& entry)
{
    if (!entry->doc.is()) throw EngineError(errtext::kObjectDeleted);
    return entry->doc;
}

// The objects other files make (each is defined with its kind).
Value NewSelection(const std::shared_ptr<WordState>& state);
Value NewRange(const std::shared_ptr<WordState>& state, std::shared_ptr<DocEntry> entry,
               Reference<text::XTextRange> range);
Value NewParagraphs(const std::shared_ptr<WordState>& state, std::shared_ptr<DocEntry> entry);
// Paragraphs(index), from 1.
Value NewParagraphAt(const std::shared_ptr<WordState>& state, std::shared_ptr<DocEntry> entry, std::int32_t index);
Value NewShape(const std::shared_ptr<WordState>& state, std::shared_ptr<DocEntry> entry,
               Reference<text::XTextFrame> frame, Reference<css::drawing::XShape> shape);
Value NewShapeRange(const std::shared_ptr<WordState>& state, std::shared_ptr<DocEntry> entry,
                    Reference<text::XTextFrame> frame);
Value NewInlineShapes(const std::shared_ptr<WordState>& state);

}  // namespace marigal::engine::lo
