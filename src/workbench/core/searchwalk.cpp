#include "workbench/core/searchwalk.h"

#include "common/errors.h"
#include "store/positionlist.h"
#include "store/wordmgr.h"
#include "workbench/core/searchtexts.h"

#include <algorithm>
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
      m_candidates(std::move(candidates)), m_openText(std::move(openText)) {}

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

void MatchCachedTexts(std::vector<TextCandidate>& candidates, SearchTexts& texts, const std::atomic<bool>& cancelled,
                      unsigned threads) {
    if (threads == 0) {
        threads = std::max(1u, std::thread::hardware_concurrency());
    }
    texts.listFolder();
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
    if (workers <= 1) {
        work();
        return;
    }
    std::vector<std::jthread> pool;
    for (size_t k = 1; k < workers; ++k) {
        pool.emplace_back(work);
    }
    work();
}

} // namespace velmora
