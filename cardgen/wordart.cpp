#include "cardgen/wordart.h"

#include <QFont>
#include <QFontMetricsF>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>
#include <vector>

namespace marigal {

namespace {

// A WordArt never takes more lines than this: more would make its letters smaller.
constexpr int kMostLines = 4;

constexpr QChar kThinSpace(0x2009);

// The widths of `words` in `metrics`, and of the blank between them.
struct Words {
    QStringList words;
    std::vector<double> widths;
    double blank = 0;
};

double Width(const Words& w, qsizetype from, qsizetype to)
{
    double sum = 0;
    for (qsizetype i = from; i < to; ++i) sum += w.widths[size_t(i)];
    return sum + w.blank * double(to - from - 1);
}

// `w` in `count` lines whose longest is as short as it can be: the first
// word of each line after the first.
std::vector<qsizetype> Balanced(const Words& w, int count)
{
    const qsizetype n = w.words.size();
    if (count <= 1 || n <= 1) return {};
    // best[k][i]: the longest line when the first i words take k lines.
    const double none = std::numeric_limits<double>::infinity();
    std::vector<std::vector<double>> best(size_t(count) + 1, std::vector<double>(size_t(n) + 1, none));
    std::vector<std::vector<qsizetype>> cut(size_t(count) + 1, std::vector<qsizetype>(size_t(n) + 1, 0));
    best[0][0] = 0;
    for (int k = 1; k <= count; ++k)
        for (qsizetype i = 1; i <= n; ++i)
            for (qsizetype j = k - 1; j < i; ++j) {
                if (best[size_t(k - 1)][size_t(j)] == none) continue;
                const double longest = std::max(best[size_t(k - 1)][size_t(j)], Width(w, j, i));
                if (longest < best[size_t(k)][size_t(i)]) best[size_t(k)][size_t(i)] = longest, cut[size_t(k)][size_t(i)] = j;
            }
    std::vector<qsizetype> starts;
    qsizetype i = n;
    for (int k = count; k > 1; --k) {
        i = cut[size_t(k)][size_t(i)];
        starts.insert(starts.begin(), i);
    }
    return starts;
}

}  // namespace

WordArtLayout LayOutWordArt(const QString& message, const QString& face, bool bold, QSizeF box)
{
    // The font machinery is shared; one layout at a time.
    static std::mutex guard;
    std::lock_guard lock(guard);
    QFont font(face);
    font.setPixelSize(200);
    font.setBold(bold);
    const QFontMetricsF metrics(font);
    const double lineHeight = metrics.ascent() + metrics.descent();

    const QStringList own = message.split(QRegularExpression(QStringLiteral("\r\n|[\r\n\v\f]")));
    std::vector<Words> lines;
    for (const QString& line : own) {
        Words w;
        w.words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (w.words.isEmpty()) w.words << QString();
        for (const QString& word : w.words) w.widths.push_back(metrics.horizontalAdvance(word));
        w.blank = metrics.horizontalAdvance(QLatin1Char(' '));
        lines.push_back(std::move(w));
    }

    // Each of the message's lines in one or more lines, the split that
    // gives the largest letters; the message's own lines always stay.
    WordArtLayout best;
    double bestScale = 0;
    for (int extra = 0; extra <= std::max(0, kMostLines - int(lines.size())); ++extra) {
        // The extra lines go to the longest of the message's lines, one at a time.
        std::vector<int> counts(lines.size(), 1);
        bool more = true;
        for (int e = 0; e < extra && more; ++e) {
            size_t longest = 0;
            double widest = -1;
            for (size_t i = 0; i < lines.size(); ++i) {
                const double wi = Width(lines[i], 0, lines[i].words.size()) / counts[i];
                if (wi > widest && counts[i] < int(lines[i].words.size())) widest = wi, longest = i;
            }
            more = widest >= 0;
            if (more) ++counts[longest];
        }
        if (!more) break;
        QStringList laid;
        double widest = 1;
        for (size_t i = 0; i < lines.size(); ++i) {
            const Words& w = lines[i];
            std::vector<qsizetype> starts = Balanced(w, counts[i]);
            starts.insert(starts.begin(), 0);
            starts.push_back(w.words.size());
            for (size_t s = 0; s + 1 < starts.size(); ++s) {
                if (starts[s] == starts[s + 1]) continue;
                laid << QStringList(w.words.mid(starts[s], starts[s + 1] - starts[s])).join(QLatin1Char(' '));
                widest = std::max(widest, Width(w, starts[s], starts[s + 1]));
            }
        }
        const QSizeF natural(widest, lineHeight * laid.size());
        const double scale = std::min(box.width() / natural.width(), box.height() / natural.height());
        // A line more only where it makes the letters clearly larger.
        if (scale > bestScale * 1.08) {
            bestScale = scale;
            best.lines = laid;
            best.size = natural * scale;
        }
    }
    if (best.lines.size() < 2) return best;
    // The office centres a WordArt's lines by their inked widths alone, not
    // where their ink starts, and squashes what then passes the widest
    // line's end ("much" read "muck" above a line that starts with a script
    // "f" reaching back left). A line whose ink starts left of where it
    // begins starts with thin spaces enough to cover that; they move it a
    // hair to the right.
    const double thin = metrics.horizontalAdvance(kThinSpace);
    double widest = 1;
    for (QString& line : best.lines) {
        const double reach = -metrics.boundingRect(line).left();
        if (reach > 0 && thin > 0) line.prepend(QString(int(std::ceil(reach / thin)), kThinSpace));
        widest = std::max(widest, metrics.horizontalAdvance(line));
    }
    const QSizeF natural(widest, lineHeight * best.lines.size());
    best.size = natural * std::min(box.width() / natural.width(), box.height() / natural.height());
    return best;
}

}  // namespace marigal
