// File: shell/look.cc
#include "shell/look.h"

#include <QApplication>
#include <QFontDatabase>
#include <QGridLayout>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QSpacerItem>
#include <QStyleOptionButton>

#include <algorithm>

#include "shell/main_form.h"

namespace tto {
namespace {

class FocusFrameStyle : public QProxyStyle {
 public:
  FocusFrameStyle() : QProxyStyle(QApplication::style()->name()) {}

  void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                   const QWidget* widget) const override {
    QProxyStyle::drawControl(element, option, painter, widget);
    if (element != CE_PushButton || !(option->state & State_HasFocus)) return;
    // One pixel on, one off, in the button's text colour, inside its bevel.
    const QRect frame = subElementRect(SE_PushButtonFocusRect, option, widget)
                            .intersected(option->rect.adjusted(3, 3, -3, -3));
    painter->save();
    QPen pen(option->palette.color(QPalette::ButtonText), 1);
    pen.setDashPattern({1, 1});
    painter->setPen(pen);
    painter->setBrush(Qt::NoBrush);
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->drawRect(frame.adjusted(0, 0, -1, -1));
    painter->restore();
  }
};

// A box that stands in the middle of the screen its owner is on, rather than
// over its owner.
class CentredBox : public QMessageBox {
 public:
  using QMessageBox::QMessageBox;

 protected:
  void showEvent(QShowEvent* event) override {
    QMessageBox::showEvent(event);  // sizes the box
    const QScreen* screen = parentWidget() != nullptr ? parentWidget()->screen() : this->screen();
    if (screen == nullptr) return;
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
};

// The width a box needs for its whole caption in the window manager's title
// bar: the caption in a bold title font with room on each side for the title
// bar's icon and buttons.
int CaptionWidth(const QString& caption) {
  QFont font = QFontDatabase::systemFont(QFontDatabase::TitleFont);
  font.setBold(true);
  // Title fonts are often larger than the window's own.
  font.setPointSizeF(std::max(font.pointSizeF(), 10.0) * 1.2);
  const QFontMetrics metrics(font);
  return metrics.horizontalAdvance(caption) + 5 * metrics.height();
}

}  // namespace

QStyle* ButtonStyle() {
  static QPointer<QStyle> style;
  if (style == nullptr) {
    style = new FocusFrameStyle;
    style->setParent(qApp);
  }
  return style;
}

void ShowBox(QWidget* owner, QMessageBox::Icon icon, std::string_view text) {
  CentredBox box(icon, kApplicationTitle, QString::fromUtf8(text.data(), qsizetype(text.size())),
                 QMessageBox::Ok, owner,
                 Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                     Qt::WindowCloseButtonHint);
  box.setWindowModality(Qt::ApplicationModal);
  QAbstractButton* ok = box.button(QMessageBox::Ok);
  ok->setIcon(QIcon());  // a plain "OK", as everywhere in the window
  ok->setStyle(ButtonStyle());
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
    grid->addItem(new QSpacerItem(CaptionWidth(box.windowTitle()), 0, QSizePolicy::Minimum,
                                  QSizePolicy::Fixed),
                  grid->rowCount(), 0, 1, grid->columnCount());
  }
  box.exec();
}

}  // namespace tto
