// The main window on Qt's offscreen platform: its controls, the keyboard,
// the runs it starts, the run modes of the command line and the ini file at
// closing. Hosting in a real X11 window is hosted_window_test.
#include "shell/main_form.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <functional>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Dismisses every message box that opens and records what it showed;
// `at_each_box` runs while a box is open, before it is dismissed.
class BoxCatcher {
 public:
  struct Box {
    QMessageBox::Icon icon;
    QString title;
    QString text;
    QStringList buttons;
  };

  explicit BoxCatcher(std::function<void()> at_each_box = {}) {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this, at_each_box] {
      for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (box == nullptr || !box->isVisible()) continue;
        QStringList buttons;
        for (QAbstractButton* b : box->buttons()) buttons << b->text().remove('&');
        boxes.push_back({box->icon(), box->windowTitle(), box->text(), buttons});
        if (at_each_box) at_each_box();
        box->button(QMessageBox::Ok)->click();
      }
    });
    timer_.start();
  }

  QStringList Texts() const {
    QStringList texts;
    for (const Box& b : boxes) texts << b.text;
    return texts;
  }

  std::vector<Box> boxes;

 private:
  QTimer timer_;
};

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// A form whose embedding always succeeds (or fails with `why`) and records
// the handle it was given.
struct FakeHost {
  bool accept = true;
  QString why = "no host here";
  WId handle = 0;
  int calls = 0;

  tto::HostEmbedder Embedder() {
    return [this](QWidget&, WId host, QString& reason) {
      ++calls;
      handle = host;
      reason = why;
      return accept;
    };
  }
};

template <typename T = QWidget>
T* Find(QWidget& form, const char* name) {
  T* w = form.findChild<T*>(name);
  if (w == nullptr) qFatal("no control %s", name);
  return w;
}

}  // namespace

class MainFormTest : public QObject {
  Q_OBJECT

 private:
  // A temporary folder for ORVE files and tables.
  std::unique_ptr<QTemporaryDir> temp_;
  fs::path Temp() const { return fs::path(temp_->path().toStdString()); }

  std::unique_ptr<tto::TMForm> MakeForm(std::vector<std::string> parameters = {},
                                        FakeHost* host = nullptr) {
    tto::FormOptions options;
    options.parameters = std::move(parameters);
    options.ini_path = Temp() / "Tempario.ini";
    options.work_folder = Temp() / "zwork";
    if (host != nullptr) {
      options.embed = host->Embedder();
    } else {
      options.embed = [](QWidget&, WId, QString&) { return true; };
    }
    return std::make_unique<tto::TMForm>(std::move(options));
  }

 private slots:
  void init() {
    temp_ = std::make_unique<QTemporaryDir>();
    QVERIFY(temp_->isValid());
    fs::create_directories(Temp() / "zwork");
    fs::create_directories(Temp() / "orve");
  }

  void WindowFrame() {
    auto form = MakeForm();
    QCOMPARE(form->objectName(), QString("MForm"));
    QCOMPARE(form->windowTitle(), QString("Exportar e importar datos entre Tempario y ORVE"));
    QCOMPARE(form->size(), QSize(599, 270));
    QCOMPARE(form->minimumSize(), form->maximumSize());
    QVERIFY(!(form->windowFlags() & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(form->windowFlags() & Qt::WindowMaximizeButtonHint));
    QCOMPARE(form->font().pixelSize(), 11);
    QCOMPARE(form->property("helpContext").toInt(), 3);
  }

  void ControlsAtTheirPlaces_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("panel");
    QTest::addColumn<QRect>("geometry");  // width 0: sized by its text
    QTest::addColumn<QString>("text");
    QTest::newRow("Draw3D2") << "Draw3D2"
                             << "MForm" << QRect(0, 0, 289, 101) << "";
    QTest::newRow("Draw3D3") << "Draw3D3"
                             << "MForm" << QRect(289, 0, 310, 101) << "";
    QTest::newRow("Draw3D1") << "Draw3D1"
                             << "MForm" << QRect(0, 101, 599, 169) << "";
    QTest::newRow("Label3") << "Label3"
                            << "Draw3D2" << QRect(24, 24, 265, 57)
                            << "Transformar datos desde ORVE hacia Tempario ";
    QTest::newRow("BExportar") << "BExportar"
                               << "Draw3D2" << QRect(88, 72, 89, 25) << "OK";
    QTest::newRow("Label4") << "Label4"
                            << "Draw3D3" << QRect(8, 24, 305, 57)
                            << "Transformar datos desde Tempario hacia ORVE";
    QTest::newRow("BImportar") << "BImportar"
                               << "Draw3D3" << QRect(96, 72, 89, 25) << "OK";
    QTest::newRow("Label5") << "Label5"
                            << "Draw3D1" << QRect(9, 5, 0, 0)
                            << "Carpeta en la que se encuentran los Ficheros TXT de ORVE";
    QTest::newRow("Label6") << "Label6"
                            << "Draw3D1" << QRect(9, 19, 0, 0) << "Ruta Actual:";
    QTest::newRow("Label2") << "Label2"
                            << "Draw3D1" << QRect(70, 20, 0, 0) << "";
    QTest::newRow("Directorios") << "Directorios"
                                 << "Draw3D1" << QRect(8, 34, 287, 106) << "";
    QTest::newRow("Unidades") << "Unidades"
                              << "Draw3D1" << QRect(8, 142, 137, 19) << "";
    QTest::newRow("Button1") << "Button1"
                             << "Draw3D1" << QRect(220, 142, 75, 21) << "F1 AYUDA";
    QTest::newRow("BClose") << "BClose"
                            << "Draw3D1" << QRect(385, 105, 89, 25) << "&Salir";
    QTest::newRow("Label1") << "Label1"
                            << "Draw3D1" << QRect(368, 142, 0, 0)
                            << "TransTemparioORVE para PL09 V-1.3";
  }

  void ControlsAtTheirPlaces() {
    QFETCH(QString, name);
    QFETCH(QString, panel);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);
    auto form = MakeForm();
    QWidget* w = Find(*form, name.toLatin1().constData());
    QCOMPARE(w->parentWidget()->objectName(), panel);
    if (geometry.width() == 0) {
      QCOMPARE(w->pos(), geometry.topLeft());
    } else {
      QCOMPARE(w->geometry(), geometry);
    }
    if (!text.isEmpty()) {
      if (auto* label = qobject_cast<QLabel*>(w)) QCOMPARE(label->text(), text);
      if (auto* button = qobject_cast<QPushButton*>(w)) QCOMPARE(button->text(), text);
    }
  }

  void FontsAndColours() {
    // A desktop with light text: the captions stay black on their panels.
    const QPalette desktop = QApplication::palette();
    QPalette light_text = desktop;
    light_text.setColor(QPalette::WindowText, Qt::white);
    QApplication::setPalette(light_text);
    auto form = MakeForm();
    QApplication::setPalette(desktop);
    for (const char* name : {"Label3", "Label4"}) {
      QLabel* caption = Find<QLabel>(*form, name);
      QCOMPARE(caption->palette().color(QPalette::WindowText), QColor(Qt::black));
      QCOMPARE(caption->font().family(), QString("Liberation Sans"));
      QVERIFY(caption->font().bold());
      QCOMPARE(caption->font().pixelSize(), 16);
      QVERIFY(caption->wordWrap());
    }
    struct Expected {
      const char* name;
      QColor colour;
      bool bold;
    };
    for (const Expected& e :
         {Expected{"Label1", Qt::red, true}, Expected{"Label2", Qt::red, true},
          Expected{"Label5", Qt::blue, false}, Expected{"Label6", Qt::blue, false}}) {
      QLabel* label = Find<QLabel>(*form, e.name);
      QCOMPARE(label->palette().color(QPalette::WindowText), e.colour);
      QCOMPARE(label->font().bold(), e.bold);
      QCOMPARE(label->font().pixelSize(), 11);
    }
    QCOMPARE(Find(*form, "Directorios")->palette().color(QPalette::Base), QColor(0xF0FBFF));
    QCOMPARE(Find(*form, "Unidades")->palette().color(QPalette::Base), QColor(0xF0FBFF));
  }

  void PanelsRunFromEndColourOverMiddleToStartColour() {
    auto form = MakeForm();
    struct Expected {
      const char* name;
      QRgb top, middle, bottom;
    };
    for (const Expected& e : {Expected{"Draw3D2", 0xFFEEDD, 0xFFFFFF, 0xF9D37D},
                              Expected{"Draw3D3", 0xFFEEDD, 0xFFFFFF, 0xF9D37D},
                              Expected{"Draw3D1", 0xCCD8E6, 0xCFF2FE, 0xC2CDFE}}) {
      QWidget* panel = Find(*form, e.name);
      const QImage image = panel->grab().toImage();
      const int x = image.width() - 2;  // right of every control
      auto near = [](QRgb a, QRgb b) {
        return std::abs(qRed(a) - qRed(b)) <= 3 && std::abs(qGreen(a) - qGreen(b)) <= 3 &&
               std::abs(qBlue(a) - qBlue(b)) <= 3;
      };
      QVERIFY2(near(image.pixel(x, 0), e.top), e.name);
      QVERIFY2(near(image.pixel(x, image.height() / 2), e.middle), e.name);
      QVERIFY2(near(image.pixel(x, image.height() - 1), e.bottom), e.name);
    }
  }

  void DirectoryListShowsPathThenSortedSubdirectories() {
    const fs::path base = Temp() / "orve";
    for (const char* name : {"b", "A", "C", ".hidden"}) fs::create_directories(base / name);
    std::ofstream(base / "file.txt") << "x";
    auto form = MakeForm();
    auto* list = Find<tto::DirectoryList>(*form, "Directorios");
    list->SetCurrentDirectory(base.string() + "/");
    QCOMPARE(list->CurrentDirectory(), base.string());
    QStringList rows;
    for (int i = 0; i < list->count(); ++i) rows << list->item(i)->text();
    QStringList expected{"/"};
    for (const auto& part : base.relative_path()) expected << QString::fromStdString(part.string());
    expected << "A"
             << "b"
             << "C";
    QCOMPARE(rows, expected);
    QCOMPARE(list->currentRow(), expected.size() - 4);
    QCOMPARE(Find<QLabel>(*form, "Label2")->text(), QString::fromStdString(base.string()));

    // A double click makes a row current; the root is reported as "/".
    list->setCurrentRow(0);
    QCOMPARE(list->CurrentDirectory(), base.string());
    emit list->itemDoubleClicked(list->item(0));
    QCOMPARE(list->CurrentDirectory(), std::string("/"));
  }

  void DriveBoxFollowsTheListAndReturnsToTheDrivesDirectory() {
    auto form = MakeForm();
    auto* list = Find<tto::DirectoryList>(*form, "Directorios");
    auto* drives = Find<QComboBox>(*form, "Unidades");
    const std::string orve = (Temp() / "orve").string();
    list->SetCurrentDirectory(orve);
    // The drive box shows the file system that holds the current directory.
    const std::string drive = drives->currentData().toByteArray().toStdString();
    QVERIFY(drive == "/" || orve.starts_with(drive + "/"));
    // Choosing that drive again shows the directory that is current on it.
    list->SetCurrentDirectory(orve);
    emit drives->activated(drives->currentIndex());
    QCOMPARE(list->CurrentDirectory(), orve);
  }

  void LongPathIsShortenedAtItsStart() {
    fs::path deep = Temp();
    for (int i = 0; i < 12; ++i) deep /= "carpeta_de_ficheros_" + std::to_string(i);
    fs::create_directories(deep);
    auto form = MakeForm();
    Find<tto::DirectoryList>(*form, "Directorios")->SetCurrentDirectory(deep.string());
    auto* label = Find<QLabel>(*form, "Label2");
    QVERIFY(label->text().startsWith(".../"));
    QVERIFY(label->text().endsWith("/carpeta_de_ficheros_10/carpeta_de_ficheros_11"));
    QVERIFY(label->fontMetrics().horizontalAdvance(label->text()) <= 287);
  }

  void KeyboardOrder() {
    auto form = MakeForm();
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    QApplication::setActiveWindow(form.get());
    QTRY_COMPARE(QApplication::focusWidget(), Find(*form, "BExportar"));
    QStringList order;
    for (int i = 0; i < 6; ++i) {
      order << QApplication::focusWidget()->objectName();
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(order, (QStringList{"BExportar", "BImportar", "BClose", "Directorios", "Unidades",
                                 "Button1"}));
    QCOMPARE(QApplication::focusWidget()->objectName(), QString("BExportar"));
    // The focus has passed over both run buttons; both are still default buttons.
    QVERIFY(Find<QPushButton>(*form, "BExportar")->isDefault());
    QVERIFY(Find<QPushButton>(*form, "BImportar")->isDefault());

    // Escape does nothing.
    QTest::keyClick(form.get(), Qt::Key_Escape);
    QVERIFY(form->isVisible());
  }

  void EnterClicksTheFocusedButton() {
    const fs::path gone = Temp() / "gone";
    fs::create_directories(gone);
    auto form = MakeForm();
    Find<tto::DirectoryList>(*form, "Directorios")->SetCurrentDirectory(gone.string());
    fs::remove(gone);
    form->show();
    QApplication::setActiveWindow(form.get());
    QVERIFY(QTest::qWaitForWindowActive(form.get()));
    BoxCatcher boxes;
    for (const char* name : {"BExportar", "BImportar"}) {
      QWidget* button = Find(*form, name);
      button->setFocus();
      QTest::keyClick(button, Qt::Key_Return);
    }
    QCOMPARE(boxes.Texts(), (QStringList{"No existe la carpeta", "No existe la carpeta"}));
    QWidget* close = Find(*form, "BClose");
    close->setFocus();
    QTest::keyClick(close, Qt::Key_Return);
    QVERIFY(!form->isVisible());
  }

  void ImportModeFocusesTheImportButton() {
    FakeHost host;
    auto form = MakeForm({"importar", "a04b2"}, &host);
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    QApplication::setActiveWindow(form.get());
    QTRY_COMPARE(QApplication::focusWidget(), Find(*form, "BImportar"));
  }

  void EnterOnListRunsOnCurrentDirectoryThenOpensSelectedRow() {
    const fs::path orve = Temp() / "orve";
    fs::create_directories(orve / "sub");
    auto form = MakeForm();
    auto* list = Find<tto::DirectoryList>(*form, "Directorios");
    list->SetCurrentDirectory(orve.string());
    list->setCurrentRow(list->count() - 1);  // "sub", selected only
    BoxCatcher boxes;
    QTest::keyClick(list, Qt::Key_Return);
    // The export run over the empty current folder, not over "sub".
    QVERIFY(!boxes.boxes.empty());
    QCOMPARE(boxes.Texts().last(), QString("Proceso finalizado"));
    QVERIFY(boxes.Texts().first().startsWith("No existe archivo de"));
    QCOMPARE(form->State().outcome_code, -1);
    for (const BoxCatcher::Box& box : boxes.boxes) {
      QCOMPARE(box.icon, QMessageBox::NoIcon);
      QCOMPARE(box.title, QString("transTempexOrve"));
      QCOMPARE(box.buttons, QStringList{"OK"});
    }
    QVERIFY(!Find(*form, "BExportar")->isEnabled());
    QVERIFY(!Find(*form, "BImportar")->isEnabled());
    QCOMPARE(list->CurrentDirectory(), orve.string());
    QVERIFY(QApplication::overrideCursor() == nullptr);

    // With both run buttons disabled, Enter makes the selected row current.
    const auto shown = boxes.boxes.size();
    list->setCurrentRow(list->count() - 1);
    QTest::keyClick(list, Qt::Key_Return);
    QCOMPARE(list->CurrentDirectory(), (orve / "sub").string());
    QCOMPARE(boxes.boxes.size(), shown);
  }

  void ClicksWhileARunWaitsAtItsBoxesStartNoOtherRun() {
    auto form = MakeForm();
    auto* list = Find<tto::DirectoryList>(*form, "Directorios");
    list->SetCurrentDirectory((Temp() / "orve").string());
    QPushButton* run_buttons[] = {Find<QPushButton>(*form, "BExportar"),
                                  Find<QPushButton>(*form, "BImportar")};
    // At every box the run shows, both run buttons are clicked and Enter is
    // pressed on the list before the box is dismissed.
    BoxCatcher boxes([&] {
      for (QPushButton* b : run_buttons) b->click();
      QTest::keyClick(list, Qt::Key_Return);
    });
    run_buttons[0]->click();
    const QStringList texts = boxes.Texts();
    // One export run over the empty folder: its six messages, then the end.
    QCOMPARE(texts.size(), 7);
    QCOMPARE(texts.last(), QString("Proceso finalizado"));
    QCOMPARE(texts.count("Proceso finalizado"), 1);
  }

  // A close asked for while a run waits at its first box (the host going
  // away, the user) cuts nothing: the run shows all its messages, then the
  // window closes, writing the run's outcome once in hosted mode.
  void CloseDuringARunIsDoneAtItsEnd_data() {
    QTest::addColumn<QStringList>("parameters");
    QTest::addColumn<QString>("ini");
    QTest::newRow("normal window") << QStringList{} << "";
    QTest::newRow("hosted") << QStringList{"ambos", "a04b2"}
                            << "[Transformadores]\r\nTransformado=-1\r\n";
  }

  void CloseDuringARunIsDoneAtItsEnd() {
    QFETCH(QStringList, parameters);
    QFETCH(QString, ini);
    std::vector<std::string> params;
    for (const QString& p : parameters) params.push_back(p.toStdString());
    FakeHost host;
    auto form = MakeForm(params, &host);
    Find<tto::DirectoryList>(*form, "Directorios")->SetCurrentDirectory((Temp() / "orve").string());
    form->show();
    int closed = 0;
    QObject::connect(form.get(), &tto::TMForm::Closed, [&] { ++closed; });
    bool open_after_close = false;
    BoxCatcher boxes([&] {
      if (boxes.boxes.size() == 1) open_after_close = !form->close() && form->isVisible();
    });
    Find<QPushButton>(*form, "BExportar")->click();
    QVERIFY(open_after_close);
    const QStringList texts = boxes.Texts();
    QCOMPARE(texts.size(), 7);
    QCOMPARE(texts.last(), QString("Proceso finalizado"));
    QVERIFY(!form->isVisible());
    QCOMPARE(closed, 1);
    QCOMPARE(QString::fromStdString(ReadFile(Temp() / "Tempario.ini")), ini);
  }

  void MissingFolderOutsideHostedModeKeepsButtons() {
    const fs::path gone = Temp() / "gone";
    fs::create_directories(gone);
    auto form = MakeForm();
    Find<tto::DirectoryList>(*form, "Directorios")->SetCurrentDirectory(gone.string());
    fs::remove(gone);
    BoxCatcher boxes;
    QTest::mouseClick(Find(*form, "BImportar"), Qt::LeftButton);
    QCOMPARE(boxes.Texts(), QStringList{"No existe la carpeta"});
    QVERIFY(Find(*form, "BExportar")->isEnabled());
    QVERIFY(Find(*form, "BImportar")->isEnabled());
    QCOMPARE(form->State().outcome_code, 0);
    QVERIFY(!fs::exists(Temp() / "Tempario.ini"));
  }

  void ErrorInARunShowsTheErrorBoxAndKeepsButtons() {
    // The import run needs Tempario's solution, which this work folder lacks.
    auto form = MakeForm();
    Find<tto::DirectoryList>(*form, "Directorios")->SetCurrentDirectory((Temp() / "orve").string());
    BoxCatcher boxes;
    QTest::mouseClick(Find(*form, "BImportar"), Qt::LeftButton);
    QCOMPARE(boxes.boxes.size(), std::size_t{1});
    QCOMPARE(boxes.boxes[0].icon, QMessageBox::Critical);
    QCOMPARE(boxes.boxes[0].title, QString("transTempexOrve"));
    QVERIFY(boxes.boxes[0].text.endsWith('.'));
    QVERIFY(Find(*form, "BExportar")->isEnabled());
    QVERIFY(Find(*form, "BImportar")->isEnabled());
    QVERIFY(QApplication::overrideCursor() == nullptr);
  }

  void RunModes_data() {
    QTest::addColumn<QStringList>("parameters");
    QTest::addColumn<bool>("hosted");
    QTest::addColumn<bool>("export_panel");
    QTest::addColumn<bool>("import_panel");
    QTest::addColumn<QString>("error");
    QTest::newRow("no parameters") << QStringList{} << false << true << true << "";
    QTest::newRow("one") << QStringList{"exportar"} << false << true << true << "";
    QTest::newRow("three") << QStringList{"exportar", "a04b2", "x"} << false << true << true << "";
    QTest::newRow("importar") << QStringList{"importar", "a04b2"} << true << false << true << "";
    QTest::newRow("EXPORTAR") << QStringList{"EXPORTAR", "A04B2"} << true << true << false << "";
    QTest::newRow("ambos") << QStringList{"ambos", "a04b2"} << true << true << true << "";
    QTest::newRow("0x prefix") << QStringList{"exportar", "0xa04b2"} << false << true << true
                               << "'$0xa04b2' is not a valid integer value.";
    QTest::newRow("too large") << QStringList{"exportar", "100000000"} << false << true << true
                               << "'$100000000' is not a valid integer value.";
  }

  void RunModes() {
    QFETCH(QStringList, parameters);
    QFETCH(bool, hosted);
    QFETCH(bool, export_panel);
    QFETCH(bool, import_panel);
    QFETCH(QString, error);
    std::vector<std::string> params;
    for (const QString& p : parameters) params.push_back(p.toStdString());
    FakeHost host;
    BoxCatcher boxes;
    auto form = MakeForm(params, &host);
    QCOMPARE(form->State().hosted_mode, hosted);
    QCOMPARE(form->State().outcome_code, 0);
    if (hosted) QCOMPARE(host.handle, WId(0xA04B2));
    QWidget* export_panel_widget = Find(*form, "Draw3D2");
    QWidget* import_panel_widget = Find(*form, "Draw3D3");
    QCOMPARE(!export_panel_widget->isHidden(), export_panel);
    QCOMPARE(!import_panel_widget->isHidden(), import_panel);
    // A panel left alone fills the top band; with both, each keeps its part.
    const QRect band(0, 0, 599, 101);
    if (export_panel && !import_panel) QCOMPARE(export_panel_widget->geometry(), band);
    if (import_panel && !export_panel) QCOMPARE(import_panel_widget->geometry(), band);
    if (export_panel && import_panel) {
      QCOMPARE(export_panel_widget->geometry(), QRect(0, 0, 289, 101));
      QCOMPARE(import_panel_widget->geometry(), QRect(289, 0, 310, 101));
    }
    QCOMPARE(Find(*form, "BImportar")->pos(), QPoint(96, 72));
    QCOMPARE(boxes.Texts(), error.isEmpty() ? QStringList{} : QStringList{error});
    if (!error.isEmpty()) QCOMPARE(host.calls, 0);
  }

  void HostThatCannotTakeTheWindowOpensItNormally() {
    FakeHost host;
    host.accept = false;
    host.why = "This display (wayland) cannot take the window into the host window";
    BoxCatcher boxes;
    auto form = MakeForm({"exportar", "a04b2"}, &host);
    QVERIFY(!form->State().hosted_mode);
    QVERIFY(!Find(*form, "Draw3D3")->isHidden());
    QCOMPARE(boxes.Texts(), QStringList{host.why + "."});
    QCOMPARE(boxes.boxes[0].icon, QMessageBox::Critical);
    form->close();
    QVERIFY(!fs::exists(Temp() / "Tempario.ini"));
  }

  // The Windows-side launcher hands on a window handle it could not turn
  // into an X11 window as it is, without the client-area file: the handle
  // names no window, whatever X11 window happens to carry that number.
  void HandleTheLauncherCouldNotMapNamesNoWindow() {
    FakeHost host;
    BoxCatcher boxes;
    tto::FormOptions options;
    options.parameters = {"exportar", "0002006c"};
    options.ini_path = Temp() / "Tempario.ini";
    options.from_launcher = true;
    options.embed = host.Embedder();
    tto::TMForm form(std::move(options));
    QVERIFY(!form.State().hosted_mode);
    QCOMPARE(host.calls, 0);
    QCOMPARE(boxes.Texts(), QStringList{"There is no window with the handle $2006C."});
    form.close();
    QVERIFY(!fs::exists(Temp() / "Tempario.ini"));
  }

  void WithoutX11TheWindowCannotBeEmbedded() {
    QWidget window;
    QString why;
    QVERIFY(!tto::EmbedInX11Host(window, 0xA04B2, why));
    QVERIFY2(why.contains("offscreen"), qPrintable(why));
  }

  void ClosingWritesTheIniOnlyInHostedMode() {
    {
      auto form = MakeForm();
      form->show();
      QTest::mouseClick(Find(*form, "BClose"), Qt::LeftButton);
      QVERIFY(!form->isVisible());
      QVERIFY(!fs::exists(Temp() / "Tempario.ini"));
    }
    FakeHost host;
    auto form = MakeForm({"ambos", "a04b2"}, &host);
    form->show();
    QApplication::setActiveWindow(form.get());
    QVERIFY(QTest::qWaitForWindowActive(form.get()));
    QTest::keyClick(form.get(), Qt::Key_S, Qt::AltModifier);
    QTRY_VERIFY(!form->isVisible());  // a mnemonic clicks after a short delay
    QCOMPARE(ReadFile(Temp() / "Tempario.ini"),
             std::string("[Transformadores]\r\nTransformado=0\r\n"));
  }

  void HostedMissingFolderClosesAndWritesItsOutcome_data() {
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("value");
    QTest::newRow("export") << "exportar"
                            << "-1";
    QTest::newRow("import") << "importar"
                            << "0";
  }

  void HostedMissingFolderClosesAndWritesItsOutcome() {
    QFETCH(QString, mode);
    QFETCH(QString, value);
    const fs::path gone = Temp() / "gone";
    fs::create_directories(gone);
    FakeHost host;
    auto form = MakeForm({mode.toStdString(), "a04b2"}, &host);
    Find<tto::DirectoryList>(*form, "Directorios")->SetCurrentDirectory(gone.string());
    fs::remove(gone);
    form->show();
    BoxCatcher boxes;
    // Enter on the closed drive box clicks the one visible run button.
    QTest::keyClick(Find(*form, "Unidades"), Qt::Key_Return);
    QCOMPARE(boxes.Texts(), QStringList{"No existe la carpeta"});
    QVERIFY(!form->isVisible());
    QCOMPARE(QString::fromStdString(ReadFile(Temp() / "Tempario.ini")),
             "[Transformadores]\r\nTransformado=" + value + "\r\n");
  }

  void UnwritableIniIsReportedAndTheWindowClosesAnyway() {
    tto::FormOptions options;
    options.parameters = {"exportar", "a04b2"};
    options.ini_path = Temp() / "no such folder" / "Tempario.ini";
    options.embed = [](QWidget&, WId, QString&) { return true; };
    tto::TMForm form(std::move(options));
    form.show();
    BoxCatcher boxes;
    QVERIFY(form.close());
    QVERIFY(!form.isVisible());
    QCOMPARE(boxes.Texts(), QStringList{QString::fromStdString(
                                "Unable to write to " +
                                (Temp() / "no such folder" / "Tempario.ini").string() + ".")});
    QCOMPARE(boxes.boxes[0].icon, QMessageBox::Critical);
  }
};

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setStyle("Fusion");
  MainFormTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "main_form_test.moc"
