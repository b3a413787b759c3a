#pragma once
// A set of enumerators stored as bits, in the style of the classic framework's
// small sets (TShiftState, TGridOptions, TGridDrawState).
#include <cstdint>
#include <initializer_list>

template <typename E> class TSmallSet {
public:
    constexpr TSmallSet() = default;
    constexpr TSmallSet(std::initializer_list<E> items)
    {
        for (E item : items)
            FBits |= Bit(item);
    }

    constexpr bool Contains(E item) const { return (FBits & Bit(item)) != 0; }
    constexpr bool Empty() const { return FBits == 0; }
    constexpr TSmallSet& Include(E item)
    {
        FBits |= Bit(item);
        return *this;
    }
    constexpr TSmallSet& Exclude(E item)
    {
        FBits &= ~Bit(item);
        return *this;
    }
    constexpr uint32_t Bits() const { return FBits; }

    constexpr TSmallSet operator+(TSmallSet other) const { return FromBits(FBits | other.FBits); }
    constexpr TSmallSet operator-(TSmallSet other) const { return FromBits(FBits & ~other.FBits); }
    constexpr TSmallSet operator*(TSmallSet other) const { return FromBits(FBits & other.FBits); }
    friend constexpr bool operator==(TSmallSet a, TSmallSet b) { return a.FBits == b.FBits; }

    static constexpr TSmallSet FromBits(uint32_t bits)
    {
        TSmallSet result;
        result.FBits = bits;
        return result;
    }

private:
    static constexpr uint32_t Bit(E item) { return uint32_t(1) << static_cast<unsigned>(item); }
    uint32_t FBits = 0;
};
