#include "app/main_window.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "app/settings.hpp"
#include "changer/change_ip.hpp"
#include "platform/components.hpp"
#include "router_sim.hpp"
#include "support/file_access.hpp"
#include "widget_test_support.hpp"

namespace tralvex {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::ProcessEventsUntil;
using testing::ReadFileBytes;
using testing::WriteFileBytes;

// The section name 配置 in code page 936.
const std::string kSection = "[\xC5\xE4\xD6\xC3]";

class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override { ::umask(022); }
    fs::path SettingsFile() const { return SettingsFilePath(dir_.path()); }
    void StoreSettings(const std::string& address, const std::string& password) const {
        WriteFileBytes(SettingsFile(),
                       kSection + "\r\nIP=" + address + "\r\nPassword=" + password + "\r\n");
    }

    template <typename Widget>
    static Widget* Control(const MainWindow& window, const char* name) {
        auto* control = window.findChild<Widget*>(QString::fromUtf8(name));
        EXPECT_NE(control, nullptr) << name;
        return control;
    }
    static IpAddressEdit* AddressBox(const MainWindow& w) {
        return Control<IpAddressEdit>(w, "IP编辑框");
    }
    static QLineEdit* PasswordBox(const MainWindow& w) {
        return Control<QLineEdit>(w, "编辑框_密码");
    }
    static QPushButton* Button(const MainWindow& w) { return Control<QPushButton>(w, "按钮_换IP"); }
    static QLabel* Label(const MainWindow& w, const char* name) { return Control<QLabel>(w, name); }

    testing::TemporaryDirectory dir_;
};

struct ControlCase {
    const char* name;
    const char* className;
    QRect geometry;
    std::string text;
};

TEST_F(MainWindowTest, ControlsAreCreatedInOrderWithTheirPlacesAndTexts) {
    const std::vector<ControlCase> expected = {
        {"超级链接框", "QLabel", QRect(8, 206, 200, 16), ""},
        {"IP编辑框", "tralvex::IpAddressEdit", QRect(86, 73, 122, 24), ""},
        {"标签3", "QLabel", QRect(11, 68, 77, 29),
         "\xC2\xB7\xD3\xC9\xC6\xF7\xB5\xD8\xD6\xB7\xA3\xBA"},
        {"标签_tip2", "QLabel", QRect(7, 40, 201, 24), ""},
        {"编辑框_密码", "QLineEdit", QRect(86, 104, 121, 24), ""},
        {"标签_tip1", "QLabel", QRect(7, 8, 201, 24), ""},
        {"按钮_换IP", "QPushButton", QRect(10, 132, 198, 68),
         "\xB8\xF8\xCE\xD2\xBB\xBB\xD2\xBB\xB8\xF6IP"},
        {"标签2", "QLabel", QRect(11, 104, 77, 24),
         "\xC2\xB7\xD3\xC9\xC6\xF7\xC3\xDC\xC2\xEB\xA3\xBA"},
    };
    MainWindow window(dir_.path());
    std::vector<QWidget*> controls;
    for (QObject* child : window.children()) {
        if (child->isWidgetType()) controls.push_back(static_cast<QWidget*>(child));
    }
    ASSERT_EQ(controls.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const ControlCase& c = expected[i];
        QWidget* control = controls[i];
        EXPECT_EQ(control->objectName(), QString::fromUtf8(c.name)) << "control " << i;
        EXPECT_STREQ(control->metaObject()->className(), c.className) << c.name;
        EXPECT_EQ(control->geometry(), c.geometry) << c.name;
        if (auto* label = qobject_cast<QLabel*>(control); label && i != 0) {
            EXPECT_EQ(Bytes(label->text()), c.text) << c.name;
        }
        if (auto* button = qobject_cast<QPushButton*>(control)) {
            EXPECT_EQ(Bytes(button->text()), c.text) << c.name;
        }
        if (auto* edit = qobject_cast<QLineEdit*>(control)) {
            EXPECT_EQ(edit->text(), "");
        }
    }
}

TEST_F(MainWindowTest, WindowHasItsCaptionSizeAndPlace) {
    MainWindow window(dir_.path());
    EXPECT_EQ(window.windowTitle(), "Tralvex IP");
    EXPECT_EQ(window.parent(), nullptr);
    EXPECT_TRUE(window.isWindow());
    EXPECT_EQ(window.size(), QSize(217, 226));
    EXPECT_EQ(window.minimumSize(), window.maximumSize()) << "fixed size";
    EXPECT_EQ(window.pos(), QPoint(50, 50));
    for (QWidget* control : window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        EXPECT_TRUE(window.rect().contains(control->geometry())) << Bytes(control->objectName());
    }
}

TEST_F(MainWindowTest, PasswordBoxShowsPlainCentredText) {
    MainWindow window(dir_.path());
    QLineEdit* password = PasswordBox(window);
    EXPECT_EQ(password->echoMode(), QLineEdit::Normal);
    EXPECT_EQ(password->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    const QString longPassword(40000, 'p');
    password->setText(longPassword);
    EXPECT_EQ(password->displayText(), longPassword) << "no length limit, nothing masked";
}

// Takes the URLs the program asks the desktop to open.
class UrlRecorder : public QObject {
    Q_OBJECT
  public slots:
    void Open(const QUrl& url) { urls.push_back(url); }

  public:
    std::vector<QUrl> urls;
};

TEST_F(MainWindowTest, HyperlinkOpensItsTargetWhenClicked) {
    MainWindow window(dir_.path());
    window.show();
    QLabel* link = Label(window, "超级链接框");
    EXPECT_TRUE(link->openExternalLinks());
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler("https", &recorder, "Open");
    QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(20, link->height() / 2));
    QDesktopServices::unsetUrlHandler("https");
    ASSERT_EQ(recorder.urls.size(), 1u);
    EXPECT_EQ(recorder.urls[0], QUrl("https://www.qt.io/"));
}

TEST_F(MainWindowTest, FirstStartCreatesAnEmptyFileAndTheFirstCloseFillsIt) {
    {
        MainWindow window(dir_.path());
        ASSERT_TRUE(fs::is_regular_file(SettingsFile()));
        EXPECT_EQ(fs::file_size(SettingsFile()), 0u);
        EXPECT_EQ(testing::PermissionBits(SettingsFile()), 0600);
        EXPECT_EQ(AddressBox(window)->fields(), AddressFields{});
        EXPECT_EQ(PasswordBox(window)->text(), "");
        EXPECT_EQ(window.RouterAddress(), "");
        window.show();
        window.close();
    }
    EXPECT_EQ(ReadFileBytes(SettingsFile()), kSection + "\r\nIP=\r\nPassword=\r\n");

    MainWindow next(dir_.path());
    EXPECT_EQ(AddressBox(next)->fields(), AddressFields{});
}

struct StoredCase {
    std::string storedAddress;
    AddressFields shown;
    // The address the following close stores.
    std::string saved;
};

TEST_F(MainWindowTest, StoredSettingsFillTheBoxesAndTheCloseStoresWhatTheyHold) {
    const std::vector<StoredCase> cases = {
        {"192.168.1.1", {192, 168, 1, 1}, "192.168.1.1"},
        {"300.1.1.1", {}, ""},
        {"1.1.1", {}, ""},
        {"a.b.c.d", {0, 0, 0, 0}, "0.0.0.0"},
        {"1.2.3.4.5", {1, 2, 3, 4}, "1.2.3.4"},
    };
    const std::string password = "pass \xC3\xDC\xC2\xEB";
    for (const StoredCase& c : cases) {
        StoreSettings(c.storedAddress, password);
        MainWindow window(dir_.path());
        EXPECT_EQ(AddressBox(window)->fields(), c.shown) << c.storedAddress;
        EXPECT_EQ(window.Password(), password);
        EXPECT_EQ(Bytes(PasswordBox(window)->text()), password);
        window.show();
        window.close();
        EXPECT_EQ(ReadFileBytes(SettingsFile()),
                  kSection + "\r\nIP=" + c.saved + "\r\nPassword=" + password + "\r\n")
            << c.storedAddress;
    }
}

TEST_F(MainWindowTest, TypedFirstFieldAloneIsSavedAsAFullAddress) {
    MainWindow window(dir_.path());
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    AddressBox(window)->field(0)->setFocus();
    QTest::keyClicks(QApplication::focusWidget(), "192");
    PasswordBox(window)->setFocus();
    QTest::keyClicks(PasswordBox(window), "typed pw");
    EXPECT_EQ(window.RouterAddress(), "192.0.0.0");
    window.close();
    EXPECT_EQ(ReadFileBytes(SettingsFile()),
              kSection + "\r\nIP=192.0.0.0\r\nPassword=typed pw\r\n");
}

TEST_F(MainWindowTest, DirectoryUnderTheFileNameGivesBlankBoxesAndASilentSave) {
    fs::create_directory(SettingsFile());
    MainWindow window(dir_.path());
    EXPECT_EQ(AddressBox(window)->fields(), AddressFields{});
    EXPECT_EQ(PasswordBox(window)->text(), "");
    AddressBox(window)->setAddressText("1.2.3.4");
    window.show();
    window.close();
    EXPECT_TRUE(fs::is_directory(SettingsFile()));
    EXPECT_TRUE(fs::is_empty(SettingsFile()));
}

TEST_F(MainWindowTest, ButtonClickRunsTheHandlerOnlyWhileEnabled) {
    MainWindow window(dir_.path());
    window.show();
    QTest::mouseClick(Button(window), Qt::LeftButton);  // no handler yet: nothing happens
    int clicks = 0;
    window.SetChangeIpHandler([&] { ++clicks; });
    QTest::mouseClick(Button(window), Qt::LeftButton);
    EXPECT_EQ(clicks, 1);
    window.SetButtonEnabled(false);
    QTest::mouseClick(Button(window), Qt::LeftButton);
    EXPECT_EQ(clicks, 1);
    window.SetButtonEnabled(true);
    QTest::mouseClick(Button(window), Qt::LeftButton);
    EXPECT_EQ(clicks, 2);
}

TEST_F(MainWindowTest, OperationsOnTheWindowThreadAreDirectCalls) {
    MainWindow window(dir_.path());
    const Text tip = FromUtf8("刷新中…");
    window.SetTip1(tip);
    window.SetTip2(FromUtf8("发现重复IP2次, 继续换..."));
    window.SetButtonCaption(FromUtf8("正在给您换IP.."));
    window.SetButtonEnabled(false);
    EXPECT_EQ(Bytes(Label(window, "标签_tip1")->text()), tip);
    EXPECT_EQ(Bytes(Label(window, "标签_tip2")->text()), FromUtf8("发现重复IP2次, 继续换..."));
    EXPECT_EQ(Bytes(Button(window)->text()), "\xD5\xFD\xD4\xDA\xB8\xF8\xC4\xFA\xBB\xBBIP..");
    EXPECT_FALSE(Button(window)->isEnabled());
}

// What a worker saw, each read right after the operation returned.
struct WorkerView {
    Text address;
    Text password;
    std::string tip1;
    std::string tip2;
    std::string caption;
    bool enabledAfterDisable = true;
    bool enabledAfterEnable = false;
};

TEST_F(MainWindowTest, WorkerThreadOperationsTakeEffectBeforeTheyReturn) {
    MainWindow window(dir_.path());
    window.show();
    AddressBox(window)->setAddressText("10.0.0.138");
    PasswordBox(window)->setText(QString::fromUtf8("pw 密码"));
    QLabel* tip1 = Label(window, "标签_tip1");
    QLabel* tip2 = Label(window, "标签_tip2");
    QPushButton* button = Button(window);
    const Text shownTip1 = FromUtf8("现在的IP：1.2.3.4");
    const Text shownTip2 = FromUtf8("刷新中…");
    const Text caption = FromUtf8("正在给您换IP..");

    WorkerView seen;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        seen.address = window.RouterAddress();
        seen.password = window.Password();
        // The window's thread has made each change before the call returns
        // and touches these widgets no more: reading them here is safe.
        window.SetTip1(shownTip1);
        seen.tip1 = Bytes(tip1->text());
        window.SetTip2(shownTip2);
        seen.tip2 = Bytes(tip2->text());
        window.SetButtonEnabled(false);
        seen.enabledAfterDisable = button->isEnabled();
        window.SetButtonCaption(caption);
        seen.caption = Bytes(button->text());
        window.SetButtonEnabled(true);
        seen.enabledAfterEnable = button->isEnabled();
        done = true;
    });
    const bool finished = ProcessEventsUntil([&] { return done.load(); });
    worker.join();
    ASSERT_TRUE(finished);
    EXPECT_EQ(seen.address, "10.0.0.138");
    EXPECT_EQ(seen.password, FromUtf8("pw 密码"));
    EXPECT_EQ(seen.tip1, shownTip1);
    EXPECT_EQ(seen.tip2, shownTip2);
    EXPECT_FALSE(seen.enabledAfterDisable);
    EXPECT_EQ(seen.caption, caption);
    EXPECT_TRUE(seen.enabledAfterEnable);
}

QMessageBox* OpenMessageBox() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (box && box->isVisible()) return box;
    }
    return nullptr;
}

void ExpectLoginFailureBox(const QMessageBox* box) {
    EXPECT_EQ(box->parent(), nullptr) << "no owner";
    EXPECT_EQ(box->windowModality(), Qt::NonModal);
    EXPECT_EQ(box->icon(), QMessageBox::Critical);
    EXPECT_EQ(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(Bytes(box->text()), "\xB5\xC7\xC2\xBC\xC2\xB7\xD3\xC9\xC6\xF7\xCA\xA7\xB0\xDC!");
    EXPECT_EQ(Bytes(box->windowTitle()), "\xCC\xE1\xCA\xBE");
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(MainWindowTest, ErrorBoxFromAWorkerWaitsOnlyThatWorker) {
    MainWindow window(dir_.path());
    window.show();
    int clicks = 0;
    window.SetChangeIpHandler([&] { ++clicks; });

    std::atomic<bool> returned{false};
    std::thread worker([&] {
        window.ShowErrorBox(FromUtf8("登录路由器失败!"), FromUtf8("提示"));
        returned = true;
    });
    QMessageBox* box = nullptr;
    const bool shown = ProcessEventsUntil([&] { return (box = OpenMessageBox()) != nullptr; });
    if (!shown) worker.detach();
    ASSERT_TRUE(shown);
    ExpectLoginFailureBox(box);

    // While the box is open the window takes clicks and other workers' calls.
    QTest::mouseClick(Button(window), Qt::LeftButton);
    EXPECT_EQ(clicks, 1);
    std::atomic<bool> otherDone{false};
    std::thread other([&] {
        window.SetTip2("other worker");
        otherDone = true;
    });
    EXPECT_TRUE(ProcessEventsUntil([&] { return otherDone.load(); }));
    other.join();
    EXPECT_EQ(Label(window, "标签_tip2")->text(), "other worker");
    EXPECT_FALSE(returned) << "the worker waits while the box is open";

    QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    EXPECT_TRUE(ProcessEventsUntil([&] { return returned.load(); }));
    worker.join();
}

TEST_F(MainWindowTest, ErrorBoxOnTheWindowThreadKeepsTheWindowWorking) {
    MainWindow window(dir_.path());
    window.show();
    int clicks = 0;
    window.SetChangeIpHandler([&] { ++clicks; });
    bool checkedWhileOpen = false;
    QTimer::singleShot(0, &window, [&] {
        QMessageBox* box = OpenMessageBox();
        ASSERT_NE(box, nullptr);
        ExpectLoginFailureBox(box);
        QTest::mouseClick(Button(window), Qt::LeftButton);
        checkedWhileOpen = true;
        box->button(QMessageBox::Ok)->click();
    });
    window.ShowErrorBox(FromUtf8("登录路由器失败!"), FromUtf8("提示"));
    EXPECT_TRUE(checkedWhileOpen);
    EXPECT_EQ(clicks, 1);
}

TEST_F(MainWindowTest, ClosingWithAnErrorBoxOpenStillEndsTheMessageLoop) {
    MainWindow window(dir_.path());
    window.show();
    std::thread worker([&] { window.ShowErrorBox("text", "title"); });

    // Runs the program's message loop: once the box is up, the window is
    // closed, which must end the loop although the box is still open.
    QMessageBox* box = nullptr;
    QTimer closeOnceShown;
    QObject::connect(&closeOnceShown, &QTimer::timeout, [&] {
        if ((box = OpenMessageBox()) == nullptr) return;
        closeOnceShown.stop();
        window.close();
    });
    closeOnceShown.start(1);
    bool hung = false;
    QObject hangGuard;
    QTimer::singleShot(60000, &hangGuard, [&] {
        hung = true;
        QApplication::quit();
    });
    QApplication::exec();

    EXPECT_FALSE(hung) << "the open box kept the message loop running";
    EXPECT_NE(box, nullptr);
    // Ending the loop may already have closed the box, which releases the worker.
    if (QPointer<QMessageBox> stillOpen = OpenMessageBox()) {
        stillOpen->button(QMessageBox::Ok)->click();
    }
    worker.join();
}

// The window as the view of a worker, with the router's port added to the
// address the box holds (the box takes no port; the simulated router cannot
// take port 80). Every other operation goes to the window as it is.
class RouterAtPort : public ChangeIpView {
  public:
    RouterAtPort(MainWindow& window, std::uint16_t port) : window_(window), port_(port) {}
    Text RouterAddress() override { return window_.RouterAddress() + ":" + std::to_string(port_); }
    Text Password() override { return window_.Password(); }
    void SetTip1(const Text& text) override { window_.SetTip1(text); }
    void SetTip2(const Text& text) override { window_.SetTip2(text); }
    void SetButtonEnabled(bool enabled) override { window_.SetButtonEnabled(enabled); }
    void SetButtonCaption(const Text& caption) override { window_.SetButtonCaption(caption); }
    void ShowErrorBox(const Text& text, const Text& title) override {
        window_.ShowErrorBox(text, title);
    }

  private:
    MainWindow& window_;
    std::uint16_t port_;
};

TEST_F(MainWindowTest, TwoQuickClicksRunTwoWorkersSideBySideToTheEnd) {
    RegisterPlatformComponents();
    routersim::Scenario scenario;
    scenario.zeroPolls = 1;
    scenario.repeats = 1;
    scenario.repeatsEachChange = true;
    scenario.keepRecords = false;
    routersim::Router router(scenario);
    ASSERT_EQ(router.Error(), "");
    MainWindow window(dir_.path());
    window.show();
    AddressBox(window)->setAddressText("127.0.0.1");
    PasswordBox(window)->setText("admin");
    RouterAtPort view(window, router.Port());
    std::vector<std::thread> workers;
    std::atomic<int> finished{0};
    window.SetChangeIpHandler([&] {
        workers.emplace_back([&] {
            RunGuard unlimited;
            RunResult result = ChangeIp(view, unlimited);
            EXPECT_EQ(result.outcome, RunResult::Outcome::NewAddress);
            ++finished;
        });
    });

    // The button goes off only once a worker has read the first status page,
    // which it cannot do before the window's thread takes its calls again.
    QTest::mouseClick(Button(window), Qt::LeftButton);
    QTest::mouseClick(Button(window), Qt::LeftButton);
    ASSERT_EQ(workers.size(), 2u);
    const bool bothFinished = ProcessEventsUntil([&] { return finished.load() == 2; });
    for (std::thread& worker : workers) worker.join();
    ASSERT_TRUE(bothFinished);

    EXPECT_TRUE(Button(window)->isEnabled());
    EXPECT_EQ(Bytes(Button(window)->text()), FromUtf8("给我换一个IP"));
    EXPECT_EQ(Bytes(Label(window, "标签_tip1")->text()).rfind(FromUtf8("上次的IP："), 0), 0u);
    EXPECT_EQ(Bytes(Label(window, "标签_tip2")->text()).rfind(FromUtf8("更换后IP："), 0), 0u);
}

}  // namespace
}  // namespace tralvex

#include "main_window_test.moc"
