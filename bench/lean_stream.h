// The single-threaded floor of the streaming commands, written by hand: blocks of 1 MiB of whole
// lines read, their numbers parsed with from_chars, one PROJ call per block, the shortest text
// written with to_chars. stream_bench runs it in process and as a program of its own.
#ifndef VEXOGEO_BENCH_LEAN_STREAM_H
#define VEXOGEO_BENCH_LEAN_STREAM_H

#include <proj.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <string>
#include <vector>

namespace VexoGeoBench {

/// Reads `path` in blocks of whole lines, hands each block's numbers (`fields` per line) to
/// `compute`, which writes the block's output text, and writes it to `output`.
template <typename Compute>
void LeanStream(const std::string &path, const char *output, std::size_t fields, Compute compute) {
    constexpr std::size_t kBlock = 1024 * 1024;
    std::FILE *in = std::fopen(path.c_str(), "rb");
    std::FILE *out = std::fopen(output, "wb");
    std::vector<char> buffer(kBlock + 4096);
    std::vector<double> values;
    std::string text;
    std::size_t kept = 0;
    while (in != nullptr && out != nullptr) {
        const std::size_t got = std::fread(buffer.data() + kept, 1, kBlock, in);
        const std::size_t size = kept + got;
        if (size == 0)
            break;
        std::size_t end = size;
        while (got > 0 && end > 0 && buffer[end - 1] != '\n')
            --end;
        values.clear();
        const char *p = buffer.data(), *stop = buffer.data() + end;
        while (p < stop) {
            for (std::size_t i = 0; i < fields; ++i) {
                while (*p == ' ')
                    ++p;
                double v = 0;
                p = std::from_chars(p, stop, v).ptr;
                values.push_back(v);
            }
            while (p < stop && *p++ != '\n') {
            }
        }
        text.clear();
        compute(values, text);
        std::fwrite(text.data(), 1, text.size(), out);
        kept = size - end;
        std::copy(buffer.data() + end, buffer.data() + size, buffer.data());
        if (got == 0)
            break;
    }
    if (in != nullptr)
        std::fclose(in);
    if (out != nullptr)
        std::fclose(out);
}

/// Appends the shortest text of `value` that reads back as it.
inline void AppendShortest(std::string &text, double value) {
    char digits[32];
    text.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

/// Transforms one block's "x y" pairs with `pj` and writes them, a pair a line.
inline void LeanTransformBlock(PJ *pj, const std::vector<double> &values, std::string &text,
                               std::vector<double> &x, std::vector<double> &y) {
    const std::size_t n = values.size() / 2;
    x.resize(n);
    y.resize(n);
    for (std::size_t i = 0; i < n; ++i)
        x[i] = values[2 * i], y[i] = values[2 * i + 1];
    proj_trans_generic(pj, PJ_FWD, x.data(), 8, n, y.data(), 8, n, nullptr, 0, 0, nullptr, 0, 0);
    for (std::size_t i = 0; i < n; ++i) {
        AppendShortest(text, x[i]);
        text += ' ';
        AppendShortest(text, y[i]);
        text += '\n';
    }
}

} // namespace VexoGeoBench

#endif
