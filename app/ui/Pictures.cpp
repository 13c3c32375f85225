#include "app/ui/Pictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include "app/MainCommands.h"

namespace {

// Freedesktop icon names, in action order, then the pressed Pause, Files and Archives buttons (the same
// names: the drawn pressed images differ by their sunken frame).
const char* const kThemeNames[kToolbarImageCount] = {
    "edit-find",          "process-stop",     "media-playback-pause",   "text-x-generic",
    "package-x-generic",  "text-x-log",       "document-print-preview", "document-print",
    "preferences-system", "help-contents",    "application-exit",       "media-playback-pause",
    "text-x-generic",     "package-x-generic"};

const QColor kInk(0x30, 0x40, 0x58);
const QColor kBlue(0x2a, 0x6f, 0xc9);
const QColor kRed(0xc8, 0x32, 0x2c);
const QColor kPaper(0xfb, 0xfb, 0xf6);
const QColor kBrown(0xb0, 0x7a, 0x3a);

void Page(QPainter& P, const QRectF& R) {
  QPainterPath Path;
  const qreal Fold = R.width() * 0.3;
  Path.moveTo(R.left(), R.top());
  Path.lineTo(R.right() - Fold, R.top());
  Path.lineTo(R.right(), R.top() + Fold);
  Path.lineTo(R.right(), R.bottom());
  Path.lineTo(R.left(), R.bottom());
  Path.closeSubpath();
  P.setBrush(kPaper);
  P.drawPath(Path);
}

void Lines(QPainter& P, const QRectF& R, int Count) {
  for (int I = 0; I < Count; ++I) {
    const qreal Y = R.top() + R.height() * (I + 1) / (Count + 1);
    P.drawLine(QPointF(R.left(), Y), QPointF(R.right(), Y));
  }
}

void Magnifier(QPainter& P, qreal S, const QPointF& Centre, qreal Radius) {
  P.setBrush(QColor(0xd8, 0xe8, 0xfa));
  P.drawEllipse(Centre, Radius, Radius);
  QPen Handle(kInk, S * 0.12, Qt::SolidLine, Qt::RoundCap);
  P.setPen(Handle);
  const qreal D = Radius * 0.72;
  P.drawLine(Centre + QPointF(D, D), Centre + QPointF(D + Radius * 0.9, D + Radius * 0.9));
}

void Draw(QPainter& P, int Index, qreal S) {
  const QPen Outline(kInk, std::max<qreal>(1.0, S / 16.0));
  P.setPen(Outline);
  switch (Index) {
    case maSearchStart:
      Magnifier(P, S, QPointF(S * 0.42, S * 0.42), S * 0.28);
      break;
    case maSearchStop:
      P.setBrush(kRed);
      P.drawRoundedRect(QRectF(S * 0.2, S * 0.2, S * 0.6, S * 0.6), S * 0.08, S * 0.08);
      break;
    case maSearchPause:
    case kImagePausePressed:
      P.setBrush(kBlue);
      P.drawRect(QRectF(S * 0.24, S * 0.2, S * 0.18, S * 0.6));
      P.drawRect(QRectF(S * 0.58, S * 0.2, S * 0.18, S * 0.6));
      break;
    case maSearchFiles:
    case kImageFilesPressed: {
      const QRectF R(S * 0.22, S * 0.12, S * 0.56, S * 0.76);
      Page(P, R);
      Lines(P, R.adjusted(S * 0.08, S * 0.15, -S * 0.1, -S * 0.05), 3);
      break;
    }
    case maSearchArchives:
    case kImageArchivesPressed: {
      P.setBrush(kBrown);
      P.drawRect(QRectF(S * 0.14, S * 0.3, S * 0.72, S * 0.56));
      P.drawRect(QRectF(S * 0.1, S * 0.18, S * 0.8, S * 0.14));
      P.setBrush(kPaper);
      P.drawRect(QRectF(S * 0.42, S * 0.4, S * 0.16, S * 0.12));
      break;
    }
    case maShowLog: {
      const QRectF R(S * 0.16, S * 0.14, S * 0.68, S * 0.72);
      P.setBrush(kPaper);
      P.drawRect(R);
      P.setPen(QPen(kBlue, std::max<qreal>(1.0, S / 16.0)));
      Lines(P, R.adjusted(S * 0.1, 0, -S * 0.1, 0), 4);
      break;
    }
    case maPreview: {
      const QRectF R(S * 0.12, S * 0.1, S * 0.52, S * 0.7);
      Page(P, R);
      Magnifier(P, S, QPointF(S * 0.58, S * 0.58), S * 0.18);
      break;
    }
    case maPrint:
      P.setBrush(kPaper);
      P.drawRect(QRectF(S * 0.28, S * 0.1, S * 0.44, S * 0.3));
      P.setBrush(QColor(0x9a, 0xa4, 0xb0));
      P.drawRoundedRect(QRectF(S * 0.1, S * 0.38, S * 0.8, S * 0.34), S * 0.05, S * 0.05);
      P.setBrush(kPaper);
      P.drawRect(QRectF(S * 0.28, S * 0.6, S * 0.44, S * 0.28));
      break;
    case maOptions: {
      P.setBrush(QColor(0x8a, 0x94, 0xa0));
      const QPointF C(S / 2, S / 2);
      for (int I = 0; I < 8; ++I) {
        P.save();
        P.translate(C);
        P.rotate(I * 45.0);
        P.drawRect(QRectF(-S * 0.07, -S * 0.42, S * 0.14, S * 0.2));
        P.restore();
      }
      P.drawEllipse(C, S * 0.28, S * 0.28);
      P.setBrush(kPaper);
      P.drawEllipse(C, S * 0.1, S * 0.1);
      break;
    }
    case maHelp: {
      P.setBrush(kBlue);
      P.drawEllipse(QPointF(S / 2, S / 2), S * 0.4, S * 0.4);
      QFont F;
      F.setPixelSize(static_cast<int>(S * 0.6));
      F.setBold(true);
      P.setFont(F);
      P.setPen(Qt::white);
      P.drawText(QRectF(0, 0, S, S), Qt::AlignCenter, QStringLiteral("?"));
      break;
    }
    case maExit: {
      P.setBrush(QColor(0x8c, 0x5a, 0x2b));
      P.drawRect(QRectF(S * 0.14, S * 0.1, S * 0.4, S * 0.8));
      QPen Arrow(kRed, S * 0.1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
      P.setPen(Arrow);
      P.drawLine(QPointF(S * 0.42, S * 0.5), QPointF(S * 0.88, S * 0.5));
      P.drawLine(QPointF(S * 0.72, S * 0.34), QPointF(S * 0.88, S * 0.5));
      P.drawLine(QPointF(S * 0.72, S * 0.66), QPointF(S * 0.88, S * 0.5));
      break;
    }
    default:
      break;
  }
}

// The pressed images: the drawing on a sunken, darker square.
QPixmap Pressed(const QPixmap& Image, int Size) {
  QPixmap Out(Size, Size);
  Out.fill(Qt::transparent);
  QPainter P(&Out);
  P.setRenderHint(QPainter::Antialiasing);
  P.setPen(QPen(QColor(0x50, 0x60, 0x78), 1));
  P.setBrush(QColor(0x2a, 0x6f, 0xc9, 60));
  P.drawRoundedRect(QRectF(0.5, 0.5, Size - 1, Size - 1), Size / 8.0, Size / 8.0);
  P.drawPixmap(1, 1, Image.scaled(Size - 2, Size - 2, Qt::KeepAspectRatio, Qt::SmoothTransformation));
  return Out;
}

bool IsPressedImage(int Index) {
  return Index == kImagePausePressed || Index == kImageFilesPressed || Index == kImageArchivesPressed;
}

}  // namespace

const char* ToolbarThemeName(int Index) {
  return Index >= 0 && Index < kToolbarImageCount ? kThemeNames[Index] : nullptr;
}

QPixmap DrawnToolbarImage(int Index, int Size) {
  QPixmap Image(Size, Size);
  Image.fill(Qt::transparent);
  if (Index < 0 || Index >= kToolbarImageCount) return Image;
  {
    QPainter P(&Image);
    P.setRenderHint(QPainter::Antialiasing);
    Draw(P, Index, Size);
  }
  return IsPressedImage(Index) ? Pressed(Image, Size) : Image;
}

QIcon ToolbarImage(int Index) {
  QIcon Drawn;
  for (int Size : {kLargeImageSize, kSmallImageSize}) Drawn.addPixmap(DrawnToolbarImage(Index, Size));
  const char* Name = ToolbarThemeName(Index);
  if (Name == nullptr || IsPressedImage(Index)) return Drawn;
  return QIcon::fromTheme(QString::fromLatin1(Name), Drawn);
}

QIcon ToolbarActionIcon(int Action) {
  QIcon Icon = ToolbarImage(Action);
  const int PressedImage = Action == maSearchPause      ? kImagePausePressed
                           : Action == maSearchFiles    ? kImageFilesPressed
                           : Action == maSearchArchives ? kImageArchivesPressed
                                                        : -1;
  if (PressedImage < 0) return Icon;
  // A checked button shows its pressed image.
  QIcon Both;
  for (int Size : {kLargeImageSize, kSmallImageSize}) {
    Both.addPixmap(Icon.pixmap(Size, Size), QIcon::Normal, QIcon::Off);
    Both.addPixmap(Pressed(Icon.pixmap(Size, Size), Size), QIcon::Normal, QIcon::On);
  }
  return Both;
}

QPixmap AboutPicture() {
  constexpr int kWidth = 360, kHeight = 96;
  QPixmap Picture(kWidth, kHeight);
  Picture.fill(Qt::white);
  QPainter P(&Picture);
  P.setRenderHint(QPainter::Antialiasing);
  QLinearGradient Band(0, 0, kWidth, 0);
  Band.setColorAt(0, QColor(0x1d, 0x4e, 0x8f));
  Band.setColorAt(1, QColor(0x5a, 0x9b, 0xe0));
  P.fillRect(QRect(0, 0, kWidth, kHeight), Band);
  P.save();
  P.translate(16, 16);
  P.setPen(QPen(Qt::white, 3));
  Magnifier(P, 64, QPointF(26, 26), 18);
  P.restore();
  QFont Title;
  Title.setPixelSize(40);
  Title.setBold(true);
  P.setFont(Title);
  P.setPen(Qt::white);
  P.drawText(QRect(96, 0, kWidth - 104, kHeight), Qt::AlignVCenter | Qt::AlignLeft,
             QStringLiteral("Scryline"));
  return Picture;
}

QIcon ProgramIcon() {
  QIcon Icon;
  for (int Size : {16, 32, 48}) Icon.addPixmap(DrawnToolbarImage(maSearchStart, Size));
  return Icon;
}
