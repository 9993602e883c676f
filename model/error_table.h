#pragma once

#include <cstddef>
#include <string_view>
#include <utility>

// Error kinds are enumerations whose sentences stand in one table each,
// entry i for the kind of value i, so a sentence is found by the kind alone.
template <typename Kind> using ErrorText = std::pair<Kind, std::string_view>;

// True when the table holds every kind up to last, each at its own value.
template <typename Kind, std::size_t N> constexpr bool coversInOrder(const ErrorText<Kind> (&table)[N], Kind last)
{
    if (N != static_cast<std::size_t>(last) + 1) return false;
    for (std::size_t i = 0; i < N; ++i)
        if (static_cast<std::size_t>(table[i].first) != i) return false;
    return true;
}

template <typename Kind, std::size_t N>
constexpr std::string_view errorText(const ErrorText<Kind> (&table)[N], Kind kind)
{
    const auto i = static_cast<std::size_t>(kind);
    return i < N ? table[i].second : std::string_view();
}
