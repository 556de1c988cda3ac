#include "workbench/core/searchwalk.h"

#include "common/errors.h"
#include "store/positionlist.h"
#include "store/textcache.h"
#include "store/textindex.h"
#include "store/wordmgr.h"
#include "workbench/core/searchtexts.h"

#include <algorithm>
#include <optional>
#include <thread>

namespace velmora {

std::vector<qint64> AllRecordPositions(const TWordMgr& store) {
    std::vector<qint64> positions(size_t(store.GetRecNumber()));
    for (size_t k = 0; k < positions.size(); ++k) {
        positions[k] = qint64(k) * TWordRec::Size;
    }
    return positions;
}

SearchWalk::SearchWalk(const SearchRequest& request, std::vector<qint64> candidates, OpenText openText)
    : m_keywords(request.keywords, request.mode, request.pinyin), m_fields(request.fields),
      m_candidates(std::move(candidates)), m_openText(std::move(openText)) {
    if (m_fields & SearchText) {
        m_waiting.reserve(m_candidates.size());
    }
}

bool SearchWalk::step(const TWordMgr& store, qsizetype count) {
    const qsizetype end = std::min(qsizetype(m_candidates.size()), m_next + count);
    for (; m_next < end; ++m_next) {
        const qint64 pos = m_candidates[size_t(m_next)];
        if (m_keywords.isEmpty() || !store.IsRecordPosition(pos)) {
            continue;
        }
        const TWordRec rec = store.RecordAt(pos);
        if (rec.wdDeleted) {
            continue;
        }
        QString path;
        QString tags;
        QString password;
        try {
            path = store.StringAt(rec.wdFullNamePos);
            if (m_fields & SearchTags) {
                tags = store.StringAt(rec.wdTagsPos);
            }
            if (m_fields & SearchText) {
                password = store.StringAt(rec.wdPasswordPos);
            }
        } catch (const VelmoraError&) {
            continue; // a damaged record names no document to search
        }
        DocumentMatch match(&m_keywords);
        if (m_fields & SearchFileName) {
            match.feed(DocumentBaseName(path), false, true);
        }
        if (m_fields & SearchTags) {
            match.feed(tags, false, true);
        }
        if ((m_fields & SearchText) && !match.decided()) {
            std::optional<QString> open = m_openText ? m_openText(path) : std::nullopt;
            if (!open) {
                m_waiting.push_back(TextCandidate{m_next, pos, path, password, match, TextCandidate::Text::Waiting});
                continue;
            }
            match.feed(*open);
        }
        if (match.matched()) {
            m_found.push_back(Found{m_next, pos, path});
        }
    }
    return !finished();
}

QString SearchWalk::result() const {
    std::vector<const Found*> found;
    std::vector<Found> fromText;
    for (const TextCandidate& candidate : m_waiting) {
        if (candidate.match.matched()) {
            fromText.push_back(Found{candidate.order, candidate.position, candidate.path});
        }
    }
    found.reserve(m_found.size() + fromText.size());
    for (const Found& one : m_found) {
        found.push_back(&one);
    }
    for (const Found& one : fromText) {
        found.push_back(&one);
    }
    std::sort(found.begin(), found.end(), [](const Found* a, const Found* b) { return a->order < b->order; });
    PositionList list;
    for (const Found* one : found) {
        list.add(one->position, one->path);
    }
    return list.text();
}

qsizetype DecideByTextIndex(std::vector<TextCandidate>& candidates, TextIndexReader* given, unsigned threads) {
    if (candidates.empty()) {
        return 0;
    }
    std::optional<TextIndexReader> own;
    TextIndexReader* index = given;
    if (index == nullptr) {
        index = &own.emplace();
    }
    if (!index->usable()) {
        return 0;
    }
    const QStringList& words = candidates.front().match.keywords()->words();
    std::vector<std::vector<qint64>> holding(size_t(words.size()));
    std::vector<bool> exact(size_t(words.size()));
    for (qsizetype i = 0; i < words.size(); ++i) {
        if (!index->containing(words.at(i), holding[size_t(i)])) {
            return 0;
        }
        exact[size_t(i)] = TextIndexReader::exact(words.at(i));
    }
    // The answer rises with every keyword found, except under "A非B" with the keywords after the first: the
    // highest and the lowest answer the unknown keywords allow are taken, and equal, they are the answer.
    const bool butNot = candidates.front().match.keywords()->mode() == SearchMode::FirstNotOthers;
    std::atomic<qsizetype> decided{0};
    std::atomic<size_t> next{0};
    constexpr size_t kSlice = 256;
    // Each worker takes the next slice of candidates and writes only those.
    const auto work = [&] {
        std::vector<bool> highest(size_t(words.size()));
        std::vector<bool> lowest(size_t(words.size()));
        qsizetype mine = 0;
        for (size_t from = next.fetch_add(kSlice); from < candidates.size(); from = next.fetch_add(kSlice)) {
            for (size_t c = from; c < std::min(candidates.size(), from + kSlice); ++c) {
                TextCandidate& candidate = candidates[c];
                if (candidate.text != TextCandidate::Text::Waiting) {
                    continue;
                }
                const qint64 row = index->vouchedRow(TextCacheName(candidate.path));
                if (row < 0) {
                    continue;
                }
                bool allKnown = true;
                for (qsizetype i = 0; i < words.size(); ++i) {
                    const std::vector<qint64>& ids = holding[size_t(i)];
                    const bool listed = std::binary_search(ids.cbegin(), ids.cend(), row);
                    const bool known = !listed || exact[size_t(i)];
                    const bool lowers = butNot && i > 0;
                    highest[size_t(i)] = known ? listed : !lowers;
                    lowest[size_t(i)] = known ? listed : lowers;
                    allKnown = allKnown && known;
                }
                if (!allKnown) {
                    // The text is read only when what the index cannot tell would change the answer.
                    DocumentMatch high = candidate.match;
                    DocumentMatch low = candidate.match;
                    high.feedKnown(highest);
                    low.feedKnown(lowest);
                    if (high.matched() != low.matched()) {
                        continue;
                    }
                }
                candidate.match.feedKnown(lowest);
                candidate.text = TextCandidate::Text::Read;
                ++mine;
            }
        }
        decided += mine;
    };
    const size_t workers = std::min<size_t>(std::max(1u, threads), (candidates.size() + kSlice - 1) / kSlice);
    {
        std::vector<std::jthread> pool;
        for (size_t k = 1; k < workers; ++k) {
            pool.emplace_back(work);
        }
        work();
    }
    return decided;
}

void MatchCachedTexts(std::vector<TextCandidate>& candidates, SearchTexts& texts, const std::atomic<bool>& cancelled,
                      unsigned threads, TextIndexReader* index) {
    if (threads == 0) {
        threads = std::max(1u, std::thread::hardware_concurrency());
    }
    const qsizetype decided = DecideByTextIndex(candidates, index, threads);
    // Listing the folder pays off only when many files are still to be looked at.
    if (qsizetype(candidates.size()) - decided > 2048) {
        texts.listFolder();
    } else {
        texts.forgetListing();
    }
    std::atomic<size_t> next{0};
    // Each worker takes the next candidate from the shared counter and writes only that candidate.
    const auto work = [&] {
        for (size_t i = next++; i < candidates.size() && !cancelled.load(std::memory_order_relaxed); i = next++) {
            TextCandidate& candidate = candidates[i];
            if (candidate.text != TextCandidate::Text::Waiting) {
                continue;
            }
            SearchTexts::Text text;
            try {
                text = texts.cached(candidate.path);
            } catch (const std::exception&) {
                text.status = SearchTexts::Status::Damaged; // out of memory on one huge file, say
            }
            if (text.status == SearchTexts::Status::Found) {
                candidate.match.feed(*text.folded, true);
                candidate.text = TextCandidate::Text::Read;
            } else {
                candidate.text = text.status == SearchTexts::Status::Damaged ? TextCandidate::Text::Damaged
                                                                             : TextCandidate::Text::Uncached;
            }
        }
    };
    const size_t workers = std::min<size_t>(threads, candidates.size());
    {
        std::vector<std::jthread> pool;
        for (size_t k = 1; k < workers; ++k) {
            pool.emplace_back(work);
        }
        work();
    }
    // A stat per document and search would cost as much as the search itself on a large library: only the
    // documents found by their cached text are checked against their files.
    std::vector<TextCandidate*> found;
    for (TextCandidate& candidate : candidates) {
        if (candidate.text == TextCandidate::Text::Read && candidate.match.matched()) {
            found.push_back(&candidate);
        }
    }
    if (found.empty() || cancelled) {
        return;
    }
    TextCacheSources sources;
    // Asked one at a time, a common word's thousands of documents would cost more than reading every row once.
    if (found.size() > 1024) {
        sources.loadAll();
    }
    for (TextCandidate* candidate : found) {
        if (sources.freshness(candidate->path) == CacheFreshness::Stale) {
            candidate->match = candidate->fields;
            candidate->text = TextCandidate::Text::Stale;
        }
    }
}

} // namespace velmora
