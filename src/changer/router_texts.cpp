#include "changer/router_texts.hpp"

#include "platform/codepage/codepage.hpp"

namespace tralvex::router_texts {

const Texts& Get() {
    static const Texts texts{
        FromUtf8("/userRpm/StatusRpm.htm"),
        FromUtf8("/userRpm/StatusRpm.htm?Disconnect=断 线&wan=1"),
        FromUtf8("/userRpm/StatusRpm.htm?Connect=连 接&wan=1"),
        FromUtf8("\\d+\\.\\d+\\.\\d+\\.\\d+"),
        FromUtf8("0.0.0.0"),
        FromUtf8("现在的IP："),
        FromUtf8("正在给您换IP.."),
        FromUtf8("刷新中…"),
        FromUtf8("发现重复IP"),
        FromUtf8("次, 继续换..."),
        FromUtf8("更换后IP："),
        FromUtf8("上次的IP："),
        FromUtf8("给我换一个IP"),
        FromUtf8("登录路由器失败!"),
        FromUtf8("提示"),
    };
    return texts;
}

}  // namespace tralvex::router_texts
