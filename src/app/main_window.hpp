#pragma once

// The program's one window: two status lines, the router address and password
// boxes, the button that starts an IP change, and a credit link. It loads the
// settings when it has been created and saves them when it closes, and it is
// the view the IP change worker drives from its own thread.

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>
#include <filesystem>
#include <functional>

#include "app/ip_address_edit.hpp"
#include "changer/change_ip_view.hpp"

namespace tralvex {

class MainWindow : public QWidget, public ChangeIpView {
    Q_OBJECT
  public:
    // `settingsDirectory` is where the settings file lies: the executable's
    // directory in the program, a scratch directory in tests.
    explicit MainWindow(std::filesystem::path settingsDirectory);

    // What a click on the button does; nothing until one is set.
    void SetChangeIpHandler(std::function<void()> handler);

    // The view operations may be called from any thread. Each is carried out on
    // the window's thread and has taken effect when it returns.
    Text RouterAddress() override;
    Text Password() override;
    void SetTip1(const Text& text) override;
    void SetTip2(const Text& text) override;
    void SetButtonEnabled(bool enabled) override;
    void SetButtonCaption(const Text& caption) override;
    // The box has no owner and blocks no window; only the calling thread waits.
    void ShowErrorBox(const Text& text, const Text& title) override;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void CreateControls();
    void OnCreated();
    void OnWillBeDestroyed();
    void OnChangeIpClicked();

    std::filesystem::path settingsDirectory_;
    std::function<void()> changeIpHandler_;

    // The controls, in the order they are created.
    QLabel* 超级链接框 = nullptr;
    IpAddressEdit* IP编辑框 = nullptr;
    QLabel* 标签3 = nullptr;
    QLabel* 标签_tip2 = nullptr;
    QLineEdit* 编辑框_密码 = nullptr;
    QLabel* 标签_tip1 = nullptr;
    QPushButton* 按钮_换IP = nullptr;
    QLabel* 标签2 = nullptr;
};

// The font of the window and of its message box.
QFont WindowFont();

}  // namespace tralvex
