#pragma once

// Text for the benchmarks' made-up news: words drawn from a small list.

#include <QString>
#include <iterator>
#include <random>

inline const char* const kSampleWords[] = {
    "market",  "council", "weather", "storm",  "season", "science", "energy",   "water", "school",
    "harbour", "river",   "museum",  "budget", "report", "bridge",  "festival", "train", "village"};

// Words separated by blanks, at least minChars long.
inline QString SampleWords(std::mt19937& rng, int minChars)
{
    std::uniform_int_distribution<size_t> pick(0, std::size(kSampleWords) - 1);
    QString text;
    while (text.size() < minChars) {
        if (!text.isEmpty())
            text += u' ';
        text += QString::fromLatin1(kSampleWords[pick(rng)]);
    }
    return text;
}
