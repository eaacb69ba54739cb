// The whole program at work: the window with our real components drives the
// simulated router over TCP on 127.0.0.1 port 80, the router's standard port,
// as a user would: the address and password typed into the boxes, the button
// clicked, the final status read off the window, the settings saved on close.
//
// Port 80 needs a network namespace of our own: the test runs itself again
// under `unshare -rn` (a private user and network namespace, in which only
// the loopback interface exists) and passes when that run passes.

#include <gtest/gtest.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QTest>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "app/main_window.hpp"
#include "app/settings.hpp"
#include "changer/change_ip.hpp"
#include "platform/components.hpp"
#include "router_sim.hpp"
#include "support/file_access.hpp"
#include "widget_test_support.hpp"

namespace tralvex {
namespace {

constexpr const char* kInsideVariable = "TRALVEX_E2E_IN_NAMESPACE";
constexpr const char* kTestName = "WindowEndToEndTest.ChangesTheAddressThroughTheRouterOnPort80";

bool InsideNamespace() { return std::getenv(kInsideVariable) != nullptr; }

bool BringLoopbackUp() {
    int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) return false;
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    bool up = ::ioctl(fd, SIOCGIFFLAGS, &request) == 0;
    request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP | IFF_RUNNING);
    up = up && ::ioctl(fd, SIOCSIFFLAGS, &request) == 0;
    ::close(fd);
    return up;
}

// Runs this test binary again inside a private network namespace; the exit
// status of that run, or -1 when no namespace can be made here.
int RunInsideNamespace() {
    if (std::system("unshare -rn true >/dev/null 2>&1") != 0) return -1;
    std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    std::string command =
        std::string(kInsideVariable) + "=1 unshare -rn '" + self + "' --gtest_filter=" + kTestName;
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

// Types the keys into whichever control has the focus, one by one, so that
// the address box can move on to its next field.
void TypeIntoFocus(const char* keys) {
    for (const char* key = keys; *key; ++key) {
        QTest::keyClick(QApplication::focusWidget(), *key);
    }
}

template <typename Widget>
Widget* Control(const MainWindow& window, const char* name) {
    return window.findChild<Widget*>(QString::fromUtf8(name));
}

std::string Utf8(const QString& text) { return text.toStdString(); }

TEST(WindowEndToEndTest, ChangesTheAddressThroughTheRouterOnPort80) {
    if (!InsideNamespace()) {
        int status = RunInsideNamespace();
        if (status < 0)
            GTEST_SKIP() << "no private network namespace can be made here "
                            "(unshare -rn failed), so port 80 is out of reach";
        EXPECT_EQ(status, 0) << "the run inside the network namespace failed";
        return;
    }
    ASSERT_TRUE(BringLoopbackUp());
    routersim::Scenario scenario;
    scenario.port = 80;
    scenario.password = "admin";
    scenario.wan = "203.0.113.7";
    scenario.newWans = {"198.51.100.20"};
    scenario.zeroPolls = 2;
    scenario.repeats = 1;
    routersim::Router router(scenario);
    ASSERT_EQ(router.Error(), "");

    RegisterPlatformComponents();
    testing::TemporaryDirectory directory;
    MainWindow window(directory.path());
    window.SetChangeIpHandler([&window] { StartChangeIp(window); });
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    auto* address = Control<IpAddressEdit>(window, "IP编辑框");
    auto* password = Control<QLineEdit>(window, "编辑框_密码");
    auto* button = Control<QPushButton>(window, "按钮_换IP");
    auto* tip1 = Control<QLabel>(window, "标签_tip1");
    auto* tip2 = Control<QLabel>(window, "标签_tip2");
    ASSERT_TRUE(address && password && button && tip1 && tip2);

    address->field(0)->setFocus();
    TypeIntoFocus("127.0.0.1");
    password->setFocus();
    TypeIntoFocus("admin");
    QTest::mouseClick(button, Qt::LeftButton);

    ASSERT_TRUE(testing::ProcessEventsUntil(
        [&] { return Utf8(tip2->text()).rfind("更换后IP：", 0) == 0 && button->isEnabled(); }));
    EXPECT_EQ(Utf8(tip2->text()), "更换后IP：198.51.100.20");
    EXPECT_EQ(Utf8(tip1->text()), "上次的IP：203.0.113.7");
    EXPECT_EQ(Utf8(button->text()), "给我换一个IP");

    std::vector<routersim::Record> records = router.Records();
    ASSERT_FALSE(records.empty());
    EXPECT_NE(records.front().raw.find("\r\nHost: 127.0.0.1\r\n"), std::string::npos);

    window.close();
    EXPECT_EQ(testing::ReadFileBytes(SettingsFilePath(directory.path())),
              "[\xC5\xE4\xD6\xC3]\r\nIP=127.0.0.1\r\nPassword=admin\r\n");
}

}  // namespace
}  // namespace tralvex
