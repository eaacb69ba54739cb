#include "app/main_window.hpp"

#include <QCloseEvent>
#include <QEventLoop>
#include <QMessageBox>
#include <QThread>
#include <future>
#include <limits>
#include <memory>
#include <type_traits>

#include "app/settings.hpp"
#include "app/thread_check.hpp"
#include "platform/codepage/codepage.hpp"

namespace tralvex {
namespace {

// Client area; with the frame of a fixed-size window of the platform the
// program comes from (3 pixels each side, a 20 pixel caption) the outer size
// is 223 x 252.
constexpr QSize kClientSize(217, 226);
constexpr QPoint kPlacement(50, 50);

QString ToQString(const Text& text) { return QString::fromStdU16String(AnsiToUtf16(text)); }

Text ToText(const QString& text) { return Utf16ToAnsi(text.toStdU16String()); }

// Runs `operation` on the thread of `context` and waits until it has run. The
// call is queued to that thread and a promise tells its end: if Qt drops the
// call unrun (its receiver gone), the promise is broken and the wait ends too.
// The thread check is told of the ordering Qt's queue gives (see
// thread_check.hpp); the end it sees through the promise itself.
template <typename Operation>
void BlockingCall(QObject* context, Operation& operation) {
    std::promise<void> done;
    std::future<void> whenDone = done.get_future();
    char handover = 0;  // only its address is used, as the token
    thread_check::Release(&handover);
    {
        thread_check::QtHandoverOnly qt;
        QMetaObject::invokeMethod(
            context,
            [&handover, &operation, done = std::move(done)]() mutable {
                thread_check::Acquire(&handover);
                operation();
                done.set_value();
            },
            Qt::QueuedConnection);
    }
    whenDone.wait();
}

// Runs `operation` on the thread of `context` and returns its result. On that
// thread itself it is a plain call: a blocking queued call there would wait
// for itself.
template <typename Operation>
auto OnThreadOf(QObject* context, Operation operation) -> decltype(operation()) {
    if (QThread::currentThread() == context->thread()) return operation();
    if constexpr (std::is_void_v<decltype(operation())>) {
        BlockingCall(context, operation);
    } else {
        decltype(operation()) result{};
        auto keepResult = [&] { result = operation(); };
        BlockingCall(context, keepResult);
        return result;
    }
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, QRect geometry) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromUtf8(name));
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    label->setGeometry(geometry);
    return label;
}

// Not modal and not owned by any window; it does not keep the program running
// once the main window has closed.
QMessageBox* MakeErrorBox(const Text& text, const Text& title) {
    auto* box =
        new QMessageBox(QMessageBox::Critical, ToQString(title), ToQString(text), QMessageBox::Ok);
    box->setWindowModality(Qt::NonModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setAttribute(Qt::WA_QuitOnClose, false);
    return box;
}

}  // namespace

QFont WindowFont() {
    QFont font("Noto Sans CJK SC");
    font.setPixelSize(12);
    return font;
}

MainWindow::MainWindow(std::filesystem::path settingsDirectory)
    : QWidget(nullptr), settingsDirectory_(std::move(settingsDirectory)) {
    setWindowTitle("Tralvex IP");
    setFont(WindowFont());
    setFixedSize(kClientSize);
    move(kPlacement);
    CreateControls();
    OnCreated();
}

void MainWindow::CreateControls() {
    超级链接框 = MakeLabel(this, "超级链接框",
                           "<a href=\"https://www.qt.io/\">本程序使用 Qt 6 制作 · qt.io</a>",
                           QRect(8, 206, 200, 16));
    超级链接框->setTextFormat(Qt::RichText);
    超级链接框->setOpenExternalLinks(true);

    IP编辑框 = new IpAddressEdit(this);
    IP编辑框->setObjectName("IP编辑框");
    IP编辑框->setGeometry(86, 73, 122, 24);

    标签3 = MakeLabel(this, "标签3", "路由器地址：", QRect(11, 68, 77, 29));
    标签_tip2 = MakeLabel(this, "标签_tip2", QString(), QRect(7, 40, 201, 24));

    编辑框_密码 = new QLineEdit(this);
    编辑框_密码->setObjectName("编辑框_密码");
    编辑框_密码->setGeometry(86, 104, 121, 24);
    编辑框_密码->setEchoMode(QLineEdit::Normal);
    编辑框_密码->setAlignment(Qt::AlignCenter);
    编辑框_密码->setMaxLength(std::numeric_limits<int>::max());

    标签_tip1 = MakeLabel(this, "标签_tip1", QString(), QRect(7, 8, 201, 24));

    按钮_换IP = new QPushButton("给我换一个IP", this);
    按钮_换IP->setObjectName("按钮_换IP");
    按钮_换IP->setGeometry(10, 132, 198, 68);
    connect(按钮_换IP, &QPushButton::clicked, this, &MainWindow::OnChangeIpClicked);

    标签2 = MakeLabel(this, "标签2", "路由器密码：", QRect(11, 104, 77, 24));
}

void MainWindow::SetChangeIpHandler(std::function<void()> handler) {
    changeIpHandler_ = std::move(handler);
}

void MainWindow::OnCreated() {
    const LoadedSettings settings = LoadSettings(settingsDirectory_);
    if (!settings.fileExisted) return;
    IP编辑框->setAddressText(settings.address);
    编辑框_密码->setText(ToQString(settings.password));
}

void MainWindow::OnWillBeDestroyed() {
    SaveSettings(settingsDirectory_, IP编辑框->addressText(), ToText(编辑框_密码->text()));
}

void MainWindow::OnChangeIpClicked() {
    if (changeIpHandler_) changeIpHandler_();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    OnWillBeDestroyed();
    event->accept();
}

Text MainWindow::RouterAddress() {
    return OnThreadOf(this, [this] { return IP编辑框->addressText(); });
}

Text MainWindow::Password() {
    return OnThreadOf(this, [this] { return ToText(编辑框_密码->text()); });
}

void MainWindow::SetTip1(const Text& text) {
    OnThreadOf(this, [this, &text] { 标签_tip1->setText(ToQString(text)); });
}

void MainWindow::SetTip2(const Text& text) {
    OnThreadOf(this, [this, &text] { 标签_tip2->setText(ToQString(text)); });
}

void MainWindow::SetButtonEnabled(bool enabled) {
    OnThreadOf(this, [this, enabled] { 按钮_换IP->setEnabled(enabled); });
}

void MainWindow::SetButtonCaption(const Text& caption) {
    OnThreadOf(this, [this, &caption] { 按钮_换IP->setText(ToQString(caption)); });
}

void MainWindow::ShowErrorBox(const Text& text, const Text& title) {
    if (QThread::currentThread() == thread()) {
        // Called on the window's own thread: wait in a local event loop, so the
        // window goes on working while the box is open.
        QEventLoop untilClosed;
        QMessageBox* box = MakeErrorBox(text, title);
        connect(box, &QMessageBox::finished, &untilClosed, &QEventLoop::quit);
        box->show();
        untilClosed.exec();
        return;
    }
    auto closed = std::make_shared<std::promise<void>>();
    std::future<void> whenClosed = closed->get_future();
    OnThreadOf(this, [&text, &title, closed] {
        QMessageBox* box = MakeErrorBox(text, title);
        connect(
            box, &QMessageBox::finished, box, [closed] { closed->set_value(); },
            Qt::SingleShotConnection);
        box->show();
    });
    whenClosed.wait();
}

}  // namespace tralvex
