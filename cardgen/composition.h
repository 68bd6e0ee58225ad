#pragma once
// Filling an opened design: the photo phase puts the photo into the design's
// picture frames, the message phase writes the message into its text places.
// Each design has its own recipe; every step goes to the word processor
// through the late-bound adapter and reports its own failure, after which the
// recipe goes on with its next operation.

#include "object.h"
#include "steps.h"

#include <QString>

#include <functional>

namespace marigal {

// The message as the word processor is given it: a vertical tab or a form
// feed (the line breaks other programs paste) is a line break, Word's vertical
// tab; tab, carriage return and line feed stay; any other control character
// is left out, since a document cannot hold it and would lose the whole text.
QString EngineText(const QString& message);

class Composer {
public:
    // `photoPath` is read afresh at each use, as the recipes read the box.
    Composer(engine::Object word, Steps& steps, std::function<QString()> photoPath)
        : word_(std::move(word)), s_(steps), photoPath_(std::move(photoPath)) {}

    void PhotoPhase(int design);
    void MessagePhase(int design, const QString& message);

private:
    enum class TextRangeStep { No, Yes };

    // ActiveDocument.Shapes(name).Select
    void SelectShape(int line, const char16_t* name);
    // Selection := ActiveDocument.Application.Selection
    void TakeSelection(int line);
    void ReleaseSelection(int line);
    // The photo into the selected frame, optionally at the start of its text.
    void FillFrame(int line, TextRangeStep textRange);
    // TypeText(Text := message), TypeParagraph, TypeBackspace
    void TypeMessage(int line, const QString& message);
    void SetWordArt(int line, const char16_t* name, const QString& message);
    void AddPicture(int line, const engine::Object& selection);

    engine::Object word_;
    Steps& s_;
    std::function<QString()> photoPath_;
    engine::Object selection_;
};

}  // namespace marigal
