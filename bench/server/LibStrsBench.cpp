// Token walks and variant code-page conversion, each against a plain Qt/iconv peer. The token cursor
// and QString::split both make every field a string; GetToken(i) per field rescans from the start.
#include "platform/CodePage.h"
#include "server/LibStrs.h"

#include <benchmark/benchmark.h>

namespace {

QString fieldList(int n) {
    QStringList parts;
    for (int i = 0; i < n; ++i)
        parts << QStringLiteral("FIELD%1").arg(i);
    return parts.join(QStringLiteral(","));
}

// Every field of a list by GetToken(i), as callers that index fields do.
void BM_GetTokenEachField(benchmark::State& state) {
    const QString text = fieldList(int(state.range(0)));
    const int n = NumToken(text, QStringLiteral(","));
    for (auto _ : state)
        for (int i = 1; i <= n; ++i)
            benchmark::DoNotOptimize(GetToken(text, QStringLiteral(","), i));
}

// Every field through the token cursor, each field made a string as GetToken returns it.
void BM_TokenCursorEachField(benchmark::State& state) {
    const QString text = fieldList(int(state.range(0)));
    for (auto _ : state) {
        TTokenCursor cursor(text, u",");
        QStringView field;
        while (cursor.Next(field))
            benchmark::DoNotOptimize(field.toString());
    }
}

// Every field by CutToken on a working copy.
void BM_CutTokenEachField(benchmark::State& state) {
    const QString text = fieldList(int(state.range(0)));
    for (auto _ : state) {
        QString rest = text;
        while (!rest.isEmpty())
            benchmark::DoNotOptimize(CutToken(rest, QStringLiteral(",")));
    }
}

// Peer: QString::split.
void BM_SplitPeer(benchmark::State& state) {
    const QString text = fieldList(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(text.split(QLatin1Char(',')));
}

kvx::Variant byteGrid(int rows) {
    kvx::Variant grid = kvx::Variant::array2(0, rows - 1, 0, 3);
    const QString gb = QString::fromUtf8("文档传输设置作业");
    const kvx::Variant bytes = kvx::Variant::fromBytes(kvx::codepage::encode(gb, 936));
    for (int i = 0; i < rows; ++i) {
        grid.item(i, 0) = bytes;
        grid.item(i, 1) = kvx::Variant::fromBytes("MB" + QByteArray::number(i));
        grid.item(i, 2) = i;
        grid.item(i, 3) = bytes;
    }
    return grid;
}

// A result grid of byte strings to wide text.
void BM_KVStrToWideStringGrid(benchmark::State& state) {
    const kvx::Variant grid = byteGrid(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(KVStrToWideString(grid, 936));
}

// Peer: decoding the same strings directly, without the variant walk.
void BM_DecodePeer(benchmark::State& state) {
    const kvx::Variant grid = byteGrid(int(state.range(0)));
    QList<QByteArray> strings;
    for (int i = 0; i <= grid.highBound(1); ++i)
        for (int j : {0, 1, 3})
            strings << grid.at(i, j).toBytes();
    for (auto _ : state)
        for (const QByteArray& s : strings)
            benchmark::DoNotOptimize(kvx::codepage::decode(s, 936));
}

} // namespace

BENCHMARK(BM_GetTokenEachField)->Arg(10)->Arg(100)->Arg(1000);
BENCHMARK(BM_TokenCursorEachField)->Arg(10)->Arg(100)->Arg(1000);
BENCHMARK(BM_CutTokenEachField)->Arg(10)->Arg(100)->Arg(1000);
BENCHMARK(BM_SplitPeer)->Arg(10)->Arg(100)->Arg(1000);
BENCHMARK(BM_KVStrToWideStringGrid)->Arg(1000);
BENCHMARK(BM_DecodePeer)->Arg(1000);
BENCHMARK_MAIN();
