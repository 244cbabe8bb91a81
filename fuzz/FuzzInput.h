#pragma once
// Reading a fuzzer's bytes as values: each Take consumes sizeof(T) bytes, or
// gives 0 once the input is used up.
#include <cstddef>
#include <cstdint>
#include <cstring>

struct FuzzInput {
    const uint8_t* data;
    size_t size;
    template <typename T>
    T Take() {
        T value{};
        if (size >= sizeof(T)) {
            std::memcpy(&value, data, sizeof(T));
            data += sizeof(T);
            size -= sizeof(T);
        }
        return value;
    }
};
