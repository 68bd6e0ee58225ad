#pragma once
// While a window is busy (its handler blocks in long calls), what the user
// types and clicks queues up. Delivered afterwards, it would act on whatever
// has the focus by then, long after the user meant it. For as long as one of
// these lives, user input is discarded instead, except in a message box the
// busy handler itself shows.

#include <QObject>

namespace marigal {

class BusyInputGuard : public QObject {
public:
    BusyInputGuard();   // starts discarding
    ~BusyInputGuard() override;  // input from now on is delivered again

    BusyInputGuard(const BusyInputGuard&) = delete;
    BusyInputGuard& operator=(const BusyInputGuard&) = delete;

    // Discards the input that has queued up so far.
    void drain();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace marigal
