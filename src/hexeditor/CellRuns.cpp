#include "hexeditor/CellRuns.h"

#include <algorithm>

namespace {

// The number of characters a cell's text can take when joined, or -1 when the cell
// must stand alone.
int JoinableChars(const TCellLook& look, const QRect& rect, int charWidth)
{
    if (charWidth <= 0 || rect.width() % charWidth != 0)
        return -1;
    const int chars = rect.width() / charWidth;
    return int(look.text.size()) <= chars ? chars : -1;
}

bool SameLook(const TCellRun& run, const TCellLook& look)
{
    return run.textColor == look.textColor && run.backColor == look.backColor && run.font == look.font;
}

} // namespace

std::vector<TCellRun> JoinCellRuns(
    const std::vector<TCellLook>& looks, const std::vector<QRect>& rects, int charWidth)
{
    std::vector<TCellRun> runs;
    const size_t count = std::min(looks.size(), rects.size());
    bool lastJoinable = false;
    for (size_t i = 0; i < count; ++i) {
        const TCellLook& look = looks[i];
        const QRect& rect = rects[i];
        if (rect.width() <= 0 || rect.height() <= 0)
            continue;
        const int chars = JoinableChars(look, rect, charWidth);
        if (chars >= 0 && lastJoinable && !runs.empty()) {
            TCellRun& run = runs.back();
            const bool touches = run.rect.x() + run.rect.width() == rect.x() && run.rect.y() == rect.y()
                && run.rect.height() == rect.height();
            if (touches && SameLook(run, look)) {
                run.rect.setWidth(run.rect.width() + rect.width());
                run.text += look.text;
                run.text.append(size_t(chars) - look.text.size(), ' ');
                ++run.cellCount;
                continue;
            }
        }
        TCellRun run;
        run.rect = rect;
        run.text = look.text;
        if (chars >= 0)
            run.text.append(size_t(chars) - look.text.size(), ' ');
        run.textColor = look.textColor;
        run.backColor = look.backColor;
        run.font = look.font;
        run.firstCell = int(i);
        run.cellCount = 1;
        runs.push_back(std::move(run));
        lastJoinable = chars >= 0;
    }
    return runs;
}
