#include "brellfin/mfc/dialogfont.h"

#include <QDir>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>

#include <algorithm>
#include <cmath>
#include <vector>

namespace Mfc {

namespace {

// Where Debian's fonts-wine puts Wine's faces.
const char* const kWineFontFolder = "/usr/share/wine/fonts";
// Tahoma and its bold: metric-compatible with the platform's dialog face.
const char* const kFaceFiles[] = {"tahoma.ttf", "tahomabd.ttf"};
const char* const kFaceFamily = "Tahoma";

// "MS Shell Dlg" 8 pt at 96 DPI on the template's platform.
constexpr int kTemplatePoints = 8;
constexpr int kTemplateDpi = 96;
constexpr int kBaseWidth = 6;
constexpr int kBaseHeight = 13;

// The smallest stand-in size tried before giving up on a fit.
constexpr int kSmallestPixels = 6;

struct FaceState {
    QString folder;
    bool tried = false;
    bool loaded = false;
    bool warned = false;
    std::vector<int> ids;
};

FaceState& state()
{
    static FaceState instance;
    return instance;
}

// n * numerator / denominator, rounded half away from zero, as the
// platform's MulDiv rounds.
int mulDiv(int n, int numerator, int denominator)
{
    const long long product = static_cast<long long>(n) * numerator;
    const long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator : (product - half) / denominator);
}

void loadFace()
{
    FaceState& s = state();
    if (s.tried)
        return;
    s.tried = true;
    const QDir folder(DialogFont::fontFolder());
    for (const char* file : kFaceFiles) {
        const int id = QFontDatabase::addApplicationFont(folder.filePath(QString::fromLatin1(file)));
        if (id < 0)
            continue;
        s.ids.push_back(id);
        if (QFontDatabase::applicationFontFamilies(id).contains(QString::fromLatin1(kFaceFamily)))
            s.loaded = true;
    }
}

bool fits(const QFont& font, const QSize& units)
{
    const QSize measured = DialogFont::measuredBaseUnits(font);
    return measured.width() <= units.width() && measured.height() <= units.height();
}

} // namespace

QSize DialogFont::templateBaseUnits(int pointSize, int dpi)
{
    const int scale = pointSize * dpi;
    const int reference = kTemplatePoints * kTemplateDpi;
    return QSize(std::max(1, mulDiv(kBaseWidth, scale, reference)), std::max(1, mulDiv(kBaseHeight, scale, reference)));
}

QSize DialogFont::measuredBaseUnits(const QFont& font)
{
    const QFontMetrics metrics(font);
    const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    return QSize(std::max(1, (metrics.horizontalAdvance(letters) / 26 + 1) / 2), std::max(1, metrics.height()));
}

QFont DialogFont::forTemplate(const QFont& base, int pointSize, int dpi)
{
    loadFace();
    FaceState& s = state();
    const QSize units = templateBaseUnits(pointSize, dpi);
    QFont font = base;
    if (s.loaded)
        font.setFamily(QString::fromLatin1(kFaceFamily));
    // The size the platform gives pointSize at dpi; smaller only while the
    // face's own base units would outgrow the template's.
    const int pixels = std::max(1, mulDiv(pointSize, dpi, 72));
    int size = pixels;
    font.setPixelSize(size);
    while (!fits(font, units) && size > kSmallestPixels)
        font.setPixelSize(--size);
    if (!s.loaded && !s.warned) {
        s.warned = true;
        qWarning("Dialog face %s is missing in %s (Debian package fonts-wine): drawing in %s at %d px instead, "
                 "sized to base units of %d x %d px",
                 kFaceFamily, qPrintable(fontFolder()), qPrintable(QFontInfo(font).family()), size, units.width(),
                 units.height());
    }
    return font;
}

bool DialogFont::faceLoaded()
{
    loadFace();
    return state().loaded;
}

QString DialogFont::fontFolder()
{
    const QString& folder = state().folder;
    return folder.isEmpty() ? QString::fromLatin1(kWineFontFolder) : folder;
}

void DialogFont::setFontFolderForTesting(const QString& folder)
{
    FaceState& s = state();
    for (int id : s.ids)
        QFontDatabase::removeApplicationFont(id);
    s = FaceState();
    s.folder = folder;
}

QRect dialogUnitsToPixels(const QRect& units, const QSize& baseUnits)
{
    auto x = [&baseUnits](int v) { return v * baseUnits.width() / 4; };
    auto y = [&baseUnits](int v) { return v * baseUnits.height() / 8; };
    return QRect(x(units.x()), y(units.y()), x(units.width()), y(units.height()));
}

} // namespace Mfc
