// The two passes of the loaders on synthetic stored texts of 1 MB and 10 MB,
// with and without escapes.  Each benchmark decodes a text kept in four
// fragments (join, pass 1, pass 2: lumq::stored_text::decode, exactly what a
// loader runs) and reports bytes per second of stored text, so that linear
// scaling shows as the same rate at both sizes.
//
// "plain": Python-like lines with single quotes only, nothing to replace.
// "escaped": every line holds escaped quotes (backslash + double quote) and
// every 64th line a placeholder, far denser than the real model sources.
// "copy": the same memory traffic without the scanning, for comparison.
#include <benchmark/benchmark.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>

#include "stored_text.hpp"

namespace {

namespace st = lumq::stored_text;

constexpr std::size_t megabyte = std::size_t{1} << 20;

struct StoredText {
    std::string text;                          // the whole stored text
    std::array<std::string_view, 4> fragments;  // four pieces of it, in order
    std::size_t decoded_size = 0;               // what decode must give
};

std::string line(bool escapes, std::size_t number) {
    if (!escapes) {
        return "        records = self.env['res.partner'].search([('name', 'ilike', text)], limit="
               + std::to_string(number % 97) + ")\n";
    }
    if (number % 64 == 0) {
        return "    pattern = r\\\"(?<![origin_slash_quoate'])\\\\b\\\\w+(?![origin_slash_quoate'])\\\"\n";
    }
    return "        records = self.env[\\\"res.partner\\\"].search([(\\\"name\\\", \\\"ilike\\\", text)], limit="
           + std::to_string(number % 97) + ")\n";
}

// Stored text of exactly `size` bytes (the last line is cut short), split
// into four fragments of about equal length; the cuts fall wherever they
// fall, as the real fragment boundaries do.
StoredText make_stored_text(bool escapes, std::size_t size) {
    StoredText stored;
    stored.text.reserve(size + 256);
    for (std::size_t number = 0; stored.text.size() < size; ++number) {
        stored.text += line(escapes, number);
    }
    stored.text.resize(size);
    const std::string_view all = stored.text;
    const std::size_t quarter = size / 4;
    for (std::size_t i = 0; i < 4; ++i) {
        const std::size_t length = i == 3 ? size - 3 * quarter : quarter;
        stored.fragments[i] = all.substr(i * quarter, length);
    }
    // The expected decoded size, counted the way the passes define it.
    const std::string once = st::replace_each(all, st::escaped_quote, "\"");
    stored.decoded_size = st::replace_each(once, st::placeholder, st::escaped_quote).size();
    return stored;
}

const StoredText &stored_text(bool escapes, std::size_t size) {
    static std::map<std::pair<bool, std::size_t>, StoredText> texts;
    auto found = texts.find({escapes, size});
    if (found == texts.end()) {
        found = texts.emplace(std::make_pair(escapes, size), make_stored_text(escapes, size)).first;
    }
    return found->second;
}

void BM_decode(benchmark::State &state) {
    const bool escapes = state.range(0) != 0;
    const std::size_t size = static_cast<std::size_t>(state.range(1)) * megabyte;
    const StoredText &stored = stored_text(escapes, size);
    if (escapes && stored.decoded_size == size) {
        state.SkipWithError("the escaped text holds no escape");
        return;
    }
    for (auto _ : state) {
        std::string decoded = st::decode(stored.fragments);
        benchmark::DoNotOptimize(decoded.data());
        if (decoded.size() != stored.decoded_size) {
            state.SkipWithError("decoded size differs from the expected one");
            break;
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(size));
    state.SetLabel(escapes ? "escaped" : "plain");
}

// The memory traffic of decode without its scanning: the join and two plain
// copies of the plain text, so that the rate of memory itself at each size
// stands beside the rates of decode.
void BM_copy(benchmark::State &state) {
    const std::size_t size = static_cast<std::size_t>(state.range(0)) * megabyte;
    const StoredText &stored = stored_text(false, size);
    for (auto _ : state) {
        std::string joined;
        for (std::string_view fragment : stored.fragments) {
            joined.append(fragment);
        }
        std::string first(joined);
        benchmark::DoNotOptimize(first.data());
        std::string second(first);
        benchmark::DoNotOptimize(second.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(size));
    state.SetLabel("copy");
}

}  // namespace

BENCHMARK(BM_decode)
    ->ArgNames({"escapes", "MB"})
    ->ArgsProduct({{0, 1}, {1, 10}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_copy)->ArgName("MB")->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv) {
#if defined(__GLIBC__)
    // Keep freed memory in the heap.  With glibc's defaults a buffer of a
    // megabyte or more may be mapped afresh (or the heap trimmed) on every
    // iteration, and then the first touch of each page, not the passes,
    // decides the rate: on a virtual machine that costs more than the passes
    // themselves.  The loaders' texts are a few kilobytes and never get there.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 1024 * 1024 * 1024);
#endif
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
