// Decoding and checking a 10,000-row inbox answer, as a ratio to parsing the
// same bytes with QJsonDocument alone (goal: at most 1.5). The check starts
// from the bytes, as inbox() does; the strict parse alone (what the other
// answers pay before their checks) is reported beside it.

#include "inboxfixtures.h"

#include "foundation/decoding/strictjson.h"
#include "foundation/localization.h"
#include "inbox/sorvaneinboxwire.h"

#include <valgrind/callgrind.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <algorithm>
#include <cstdio>

using namespace InboxFixtures;

template<class F>
qint64 fastest(int runs, F &&work)
{
    qint64 best = std::numeric_limits<qint64>::max();
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        best = std::min(best, timer.nsecsElapsed());
    }
    return best;
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    EditorLocalization::overrideLanguageForTesting("en");
    QJsonArray rows;
    for (int i = 0; i < 10000; ++i)
        rows.append(row(i + 1));
    const QByteArray answer = bytes(set(inboxPage(0), "items", rows));

    // The page limit of 50 rows and the answer limit of 2 MiB would refuse
    // this answer at once; the bench raises only those limits and runs
    // everything inbox() does from the bytes: the reading, every rule of every
    // row, the page's own rules, and the typed page built from the checked values.
    const QUuid expectedOperator = QUuid::fromString(operatorID);
    const auto validate = [&] {
        const SorvaneInboxPage page = SorvaneInboxWire::inbox(answer, expectedOperator, rows.size(), answer.size());
        if (page.items.size() != 10000)
            std::abort();
    };
    const auto parseOnly = [&] {
        if (QJsonDocument::fromJson(answer).isNull())
            std::abort();
    };
    const auto strictParse = [&] {
        if (!StrictJson::parse(answer, {.refuseDuplicateKeys = true}).isObject())
            std::abort();
    };
    // Each workload once before it is counted or timed, so that none of them
    // pays for the allocator's first growth.
    validate();
    parseOnly();
    strictParse();
    if (RUNNING_ON_VALGRIND) {
        // Instruction counts instead of times (a loaded machine times badly):
        // bench/inbox/callgrind-ratio runs this under callgrind with
        // collection off and reads the two parts dumped here.
        CALLGRIND_TOGGLE_COLLECT;
        parseOnly();
        CALLGRIND_TOGGLE_COLLECT;
        CALLGRIND_DUMP_STATS_AT("parse");
        CALLGRIND_TOGGLE_COLLECT;
        validate();
        CALLGRIND_TOGGLE_COLLECT;
        CALLGRIND_DUMP_STATS_AT("check");
        CALLGRIND_TOGGLE_COLLECT;
        strictParse();
        CALLGRIND_TOGGLE_COLLECT;
        CALLGRIND_DUMP_STATS_AT("strict");
        return 0;
    }
    const qint64 parse = fastest(5, parseOnly);
    const qint64 full = fastest(5, validate);
    const qint64 strict = fastest(5, strictParse);
    std::printf("inbox answer: %lld bytes, 10000 rows\n", static_cast<long long>(answer.size()));
    std::printf("strict parse alone: %.1f ms, ratio %.2f\n", strict / 1e6, double(strict) / double(parse));
    // The figure, last.
    std::printf("parse only: %.1f ms, check and decode: %.1f ms, ratio %.2f (goal <= 1.5)\n", parse / 1e6, full / 1e6,
                double(full) / double(parse));
    return 0;
}
