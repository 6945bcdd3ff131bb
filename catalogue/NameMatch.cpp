#include "catalogue/NameMatch.h"

#include <algorithm>
#include <vector>

namespace kestra {

namespace {

// The edit distance from text to the closest non-empty start of word (optimal string
// alignment: a swap of neighbours counts one).
int prefixDistance(const QString& text, QStringView word) {
    const auto rows = static_cast<std::size_t>(text.size()) + 1;
    const auto columns = static_cast<std::size_t>(word.size()) + 1;
    std::vector<int> d(rows * columns);
    const auto at = [columns, &d](std::size_t i, std::size_t j) -> int& {
        return d[i * columns + j];
    };
    for (std::size_t i = 0; i < rows; ++i)
        at(i, 0) = static_cast<int>(i);
    for (std::size_t j = 0; j < columns; ++j)
        at(0, j) = static_cast<int>(j);
    for (std::size_t i = 1; i < rows; ++i) {
        for (std::size_t j = 1; j < columns; ++j) {
            const bool same = text[qsizetype(i - 1)] == word[qsizetype(j - 1)];
            int best = std::min({at(i - 1, j) + 1, at(i, j - 1) + 1, at(i - 1, j - 1) + !same});
            if (i > 1 && j > 1 && text[qsizetype(i - 1)] == word[qsizetype(j - 2)] &&
                text[qsizetype(i - 2)] == word[qsizetype(j - 1)])
                best = std::min(best, at(i - 2, j - 2) + 1);
            at(i, j) = best;
        }
    }
    int best = static_cast<int>(rows - 1);
    for (std::size_t j = 1; j < columns; ++j)
        best = std::min(best, at(rows - 1, j));
    return best;
}

} // namespace

std::optional<QString> matchName(const QStringList& names, const QString& text) {
    const QString wanted = text.trimmed();
    for (const QString& name : names) {
        if (name.compare(wanted, Qt::CaseInsensitive) == 0)
            return name;
    }
    return std::nullopt;
}

int nameDistance(const QString& text, const QString& name) {
    const QString typed = text.trimmed().toCaseFolded();
    const QString folded = name.toCaseFolded();
    int best = prefixDistance(typed, folded);
    for (qsizetype i = 1; i < folded.size(); ++i) {
        if (folded[i - 1].isSpace() && !folded[i].isSpace())
            best = std::min(best, prefixDistance(typed, QStringView(folded).mid(i)));
    }
    return best;
}

QStringList closestNames(const QStringList& names, const QString& text, int limit) {
    // A letter or two says too little to guess from.
    const qsizetype typed = text.trimmed().size();
    if (typed < 3)
        return {};
    // About one slip in three letters, and always one.
    const int near = std::max(1, static_cast<int>(typed / 3));
    std::vector<std::pair<int, qsizetype>> found;
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (const int distance = nameDistance(text, names[i]); distance <= near)
            found.emplace_back(distance, i);
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    QStringList closest;
    for (const auto& [distance, index] : found) {
        if (closest.size() == limit || distance > found.front().first)
            break;
        if (!closest.contains(names[index]))
            closest.append(names[index]);
    }
    return closest;
}

} // namespace kestra
