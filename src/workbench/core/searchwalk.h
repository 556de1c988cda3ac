#pragma once

#include "workbench/core/searchmatch.h"

#include <QString>

#include <atomic>
#include <functional>
#include <optional>
#include <vector>

namespace velmora {

class SearchTexts;
class TextIndexReader;
class TWordMgr;

// The fields a search looks in.
enum SearchField : unsigned { SearchFileName = 1, SearchTags = 2, SearchText = 4 };

struct SearchRequest {
    QString keywords;
    SearchMode mode = SearchMode::All;
    unsigned fields = SearchFileName | SearchTags | SearchText;
    // Latin keywords also match names and tags by their pinyin initials.
    bool pinyin = false;
};

// A candidate whose answer waits on its whole text.
struct TextCandidate {
    enum class Text {
        Waiting,
        Read,
        // No usable cache file: none, an empty one, or a damaged one.
        Uncached,
        Damaged,
        // Its text could not be had at all (a missing file, a wrong password): it is passed over.
        Unreadable,
        // Found by a cache whose document changed after the cache was read: its text is to be read again.
        Stale,
    };

    qsizetype order = 0; // its place among the candidates, which is its place in the result
    qint64 position = -1;
    QString path;
    QString password;
    DocumentMatch match;
    Text text = Text::Waiting;
    // The match of its name and tags alone, for a text that turns out stale.
    DocumentMatch fields = match;
};

// Every record position of the store, in file order.
std::vector<qint64> AllRecordPositions(const TWordMgr& store);

// One search's walk over its candidates. It works on its own copy of the candidate positions, read once at the
// start, and walks them in slices, so that a caller can let window events through between slices. Records that
// are deleted, and positions that are no longer records, are passed over; so is a record whose strings are
// damaged. Names and tags are tested during the walk; candidates that still need their whole text are handed
// over in waiting().
class SearchWalk final {
public:
    // The text of a document that is open for editing, which wins over its cache file; nullopt when the
    // document is not open.
    using OpenText = std::function<std::optional<QString>(const QString& path)>;

    SearchWalk(const SearchRequest& request, std::vector<qint64> candidates, OpenText openText = {});
    Q_DISABLE_COPY_MOVE(SearchWalk)

    const SearchKeywords& keywords() const { return m_keywords; }
    // Walks up to `count` more candidates; false once all are walked.
    bool step(const TWordMgr& store, qsizetype count);
    bool finished() const { return m_next >= qsizetype(m_candidates.size()); }

    std::vector<TextCandidate>& waiting() { return m_waiting; }

    // The position list of the documents found, in candidate order, a document left out only when its own
    // path is listed already. Waiting candidates count when their match says so.
    QString result() const;

private:
    struct Found {
        qsizetype order;
        qint64 position;
        QString path;
    };

    SearchKeywords m_keywords;
    unsigned m_fields;
    std::vector<qint64> m_candidates;
    OpenText m_openText;
    qsizetype m_next = 0;
    std::vector<Found> m_found;
    std::vector<TextCandidate> m_waiting;
};

// Decides the waiting candidates the text index can vouch for without their texts: those it knows hold, or lack,
// the keywords (a keyword of one or two units is known exactly; a longer one only proposes, and its candidates
// are left waiting to be verified against their texts). Returns how many it decided; none when there is no
// usable index.
// `index`: one opened beforehand (its rows read while the library was walked); null opens one.
qsizetype DecideByTextIndex(std::vector<TextCandidate>& candidates, TextIndexReader* index = nullptr,
                            unsigned threads = 1);

// Decides waiting candidates first by the text index, then by their cache files, listed once first, on `threads`
// workers (0: one per core). A candidate without a usable cache file is marked Uncached or Damaged and left undecided;
// one its cache found whose document changed since is marked Stale and left undecided. Only the documents found are
// checked against their files: one a search would find only in its file's new text is missed until its cache is
// brought level (the window's pass, `velmoradb index --changed`).
// Stops early, leaving the rest Waiting, once `cancelled` is set.
void MatchCachedTexts(std::vector<TextCandidate>& candidates, SearchTexts& texts, const std::atomic<bool>& cancelled,
                      unsigned threads = 0, TextIndexReader* index = nullptr);

} // namespace velmora
