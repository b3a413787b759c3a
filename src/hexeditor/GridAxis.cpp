#include "hexeditor/GridAxis.h"

#include <algorithm>
#include <climits>

GridAxis GridAxis::PerCell(int count, int fixed, int first, int client, const std::vector<int>& starts,
    const std::vector<int>& sizes)
{
    GridAxis axis;
    axis.FCount = count;
    axis.FFixed = fixed;
    axis.FFirst = first;
    axis.FClient = client;
    axis.FStarts = &starts;
    axis.FSizes = &sizes;
    return axis;
}

GridAxis GridAxis::Uniform(int count, int fixed, int first, int client, int size, int fixedPitch, int pitch)
{
    GridAxis axis;
    axis.FCount = count;
    axis.FFixed = fixed;
    axis.FFirst = first;
    axis.FClient = client;
    axis.FSize = size;
    axis.FFixedPitch = fixedPitch;
    axis.FPitch = pitch;
    return axis;
}

int64_t GridAxis::Start(int i) const
{
    if (FStarts)
        return (*FStarts)[size_t(i)];
    if (i <= FFixed)
        return int64_t(i) * FFixedPitch;
    return int64_t(FFixed) * FFixedPitch + int64_t(i - FFixed) * FPitch;
}

int GridAxis::Size(int i) const
{
    return FSizes ? (*FSizes)[size_t(i)] : FSize;
}

int GridAxis::FixedExtent() const
{
    return int(std::min<int64_t>(Start(FFixed), INT_MAX / 2));
}

int64_t GridAxis::Pos(int i) const
{
    if (i < FFixed)
        return Start(i);
    return FixedExtent() + Start(i) - Start(FFirst);
}

template <typename Predicate> int GridAxis::FirstWhere(int from, int to, Predicate holds) const
{
    while (from < to) {
        const int mid = from + (to - from) / 2;
        if (holds(mid))
            to = mid;
        else
            from = mid + 1;
    }
    return from;
}

int GridAxis::LastVisible() const
{
    if (!FSizes && FSize <= 0)
        return -1;
    const int first = std::max(FFirst, FFixed);
    if (!FStarts) {
        // Rows: arithmetic, whatever their count.
        const int fixedShown = FClient <= 0
            ? 0
            : int(std::min<int64_t>(FFixed, (int64_t(FClient) + FFixedPitch - 1) / FFixedPitch));
        if (fixedShown < FFixed)
            return fixedShown - 1;
        const int64_t available = int64_t(FClient) - Pos(first);
        if (available <= 0 || first >= FCount)
            return FFixed - 1;
        const int64_t shown = (available + FPitch - 1) / FPitch;
        return int(std::min<int64_t>(FCount - 1, first + shown - 1));
    }
    auto beyond = [this](int i) { return Pos(i) >= FClient; };
    const int fixedShown = FirstWhere(0, FFixed, beyond);
    if (fixedShown < FFixed)
        return fixedShown - 1;
    const int end = FirstWhere(first, FCount, beyond);
    return end > first ? end - 1 : FFixed - 1;
}

int GridAxis::CellAt(int pixel) const
{
    if (!FSizes && FSize <= 0)
        return -1;
    const int first = std::max(FFirst, FFixed);
    if (!FStarts) {
        if (pixel < FixedExtent())
            return pixel / FFixedPitch;
        const int64_t cell = first + (int64_t(pixel) - Pos(first)) / FPitch;
        return cell < FCount ? int(cell) : -1;
    }
    auto covers = [this, pixel](int i) { return pixel < Pos(i) + Pitch(i); };
    const int fixedCell = FirstWhere(0, FFixed, covers);
    if (fixedCell < FFixed)
        return fixedCell;
    if (pixel < FixedExtent())
        return -1;
    const int cell = FirstWhere(first, FCount, covers);
    return cell < FCount ? cell : -1;
}

bool GridAxis::VisibleSpan(int from, int to, int& spanFirst, int& spanLast) const
{
    const int lastVisible = LastVisible();
    spanFirst = INT_MAX;
    spanLast = -1;
    const int fixedEnd = std::min(FFixed - 1, lastVisible);
    if (from <= fixedEnd && to >= 0) {
        spanFirst = std::max(from, 0);
        spanLast = std::min(to, fixedEnd);
    }
    const int a = std::max(from, FFirst);
    const int b = std::min(to, lastVisible);
    if (a <= b) {
        spanFirst = std::min(spanFirst, a);
        spanLast = std::max(spanLast, b);
    }
    return spanLast >= 0 && spanFirst <= spanLast;
}
