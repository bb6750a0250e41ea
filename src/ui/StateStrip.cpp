// Cutting state strips into cells with the alpha rule.
#include "ui/StateStrip.h"

QList<TPicture> CutStateStrip(const TPicture& Strip, int SplitNum, bool CopyAlpha) {
    QList<TPicture> cells;
    if (Strip.IsEmpty() || SplitNum < 1 || SplitNum > cnMaxStateCells)
        return cells;
    if (Strip.ColorType != cnPngColorTypeRgb && Strip.ColorType != cnPngColorTypeRgba)
        return cells;
    const int cellWidth = Strip.Image.width() / SplitNum;
    const int height = Strip.Image.height();
    if (cellWidth < 1)
        return cells;
    const QImage source = Strip.Image.convertToFormat(QImage::Format_RGBA8888);
    const bool copyAlpha = CopyAlpha && Strip.ColorType == cnPngColorTypeRgba;
    for (int i = 0; i < SplitNum; ++i) {
        TPicture cell;
        cell.ColorType = cnPngColorTypeRgba;
        cell.Image = QImage(cellWidth, height, QImage::Format_RGBA8888);
        for (int y = 0; y < height; ++y) {
            const uchar* from = source.constScanLine(y) + qsizetype(i) * cellWidth * 4;
            uchar* to = cell.Image.scanLine(y);
            for (int x = 0; x < cellWidth; ++x) {
                to[4 * x] = from[4 * x];
                to[4 * x + 1] = from[4 * x + 1];
                to[4 * x + 2] = from[4 * x + 2];
                to[4 * x + 3] = copyAlpha ? from[4 * x + 3] : 0;
            }
        }
        cells.append(cell);
    }
    return cells;
}
