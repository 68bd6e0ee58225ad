#pragma once
// Filling an opened design: the photo phase puts the photo into the design's
// picture frames, the message phase writes the message into its text places.
// Each design has its own recipe; every step goes to the word processor
// through the late-bound adapter and reports its own failure, after which the
// recipe goes on with its next operation.

#include "common/steps.h"
#include "engine/object.h"

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
    // `photoPath` gives the photo for each of the design's photo places, in
    // the order the recipe fills them (0, 1, ...); it is read afresh at each
    // use, as the recipes read the box.
    Composer(engine::Object word, Steps& steps, std::function<QString(int place)> photoPath)
        : word_(std::move(word)), s_(steps), photoPath_(std::move(photoPath)) {}

    void PhotoPhase(int design);
    void MessagePhase(int design, const QString& message);

    // After the message phase: where a text place cannot hold the message
    // at the design's size, its type is made just small enough, in steps of
    // half a point and down to the design's floor; every script of it at
    // one size (Word keeps right-to-left text's size and weight apart). The
    // sizes are the document's own, so the saved card shows what the
    // picture shows. "Yellow Flower" keeps its photo in place: the message
    // takes its room above it, and what it leaves free stays as space.
    // `photoShortfall`: how much lower (points) than its room "Yellow
    // Flower"'s photo is, when it keeps its own proportions; it stands in
    // the middle of its room.
    // False when the message does not fit even at the floor.
    // The WordArt of designs 3 and 4 is first made the shape of its text (in
    // the middle of the design's box): its letters in their own
    // proportions, its lines centred, a long line wrapped.
    bool FitMessage(int design, double photoShortfall = 0);

private:
    enum class TextRangeStep { No, Yes };

    // ActiveDocument.Shapes(name).Select
    void SelectShape(int line, const char16_t* name);
    // Selection := ActiveDocument.Application.Selection
    void TakeSelection(int line);
    void ReleaseSelection(int line);
    // The photo of place `place` into the selected frame, optionally at the start of its text.
    void FillFrame(int line, TextRangeStep textRange, int place);
    // TypeText(Text := message), TypeParagraph, TypeBackspace
    void TypeMessage(int line, const QString& message);
    void SetWordArt(int line, const char16_t* name, const QString& message);
    void FitWordArt(int line, const char16_t* name, int design);
    // The largest size from `floor` up to `designed` at which `fits` holds,
    // left set; `designed` is known not to fit. False when `floor` does not.
    static bool Shrink(double designed, double floor, const std::function<bool(double)>& fits);
    bool FitTextBox(int line, const char16_t* name, double floor);
    bool FitBody(int line, double floor, double photoShortfall);
    void AddPicture(int line, const engine::Object& selection, int place);

    engine::Object word_;
    Steps& s_;
    std::function<QString(int)> photoPath_;
    engine::Object selection_;
    QString message_;  // as the message phase was given it
};

}  // namespace marigal
