#pragma once
// One card, made with an office that is already running, strictly: any step
// that would have shown an error box in the window fails the card, with the
// window's own wording, and then nothing of it is written.

#include "batch/card_list.h"
#include "engine/object.h"

#include <QSet>
#include <QString>

namespace marigal::batch {

struct CardOutcome {
    bool made = false;
    QString error;            // why not
    bool officeLost = false;  // the office died or hung: another may do it
    QString part = {};        // the card's PDF, kept for a combined one
    QString warning = {};     // made, but with this to say (a small photo)
    bool tryAgain = true;     // with another office, when this one was lost
};

class CardMaker {
public:
    // `word`: a running "Word.Application"; `workFolder`: this maker's own
    // folder for the design and the card on their way.
    CardMaker(engine::Object word, QString workFolder);

    // Makes the card and puts its outputs in place, none replacing a file
    // that is there unless `force`.
    CardOutcome make(const CardOrder& card, bool force);

    // Keeps each card's PDF in `folder` (as row-N.pdf), for a combined one.
    void keepPdfsIn(const QString& folder) { parts_ = folder; }

private:
    QString templateFor(int design);

    engine::Object word_;
    QString work_;
    QSet<int> written_;  // designs whose template is in the work folder
    QString parts_;
    int made_ = 0;
};

}  // namespace marigal::batch
