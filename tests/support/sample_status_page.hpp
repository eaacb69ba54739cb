#pragma once

// A router status page as the router's web administration serves it (written
// here in UTF-8), and the dotted quads that stand in it, in order.

#include <string>
#include <vector>

namespace tralvex::testing {

inline std::string SampleStatusPageUtf8() {
    return "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
           "charset=gb2312\">\r\n"
           "<title>运行状态</title></head>\r\n"
           "<script type=\"text/javascript\">\r\n"
           "var statusPara = new Array(1, 1, 22, 20, 0, \"4.19.38 Build 120217 Rel.34316n\", "
           "\"WR340G v5 00000000\", 0, 0);\r\n"
           "var lanPara = new Array(\"00-1D-0F-11-22-33\", \"192.168.1.1\", "
           "\"255.255.255.0\", 0, 0);\r\n"
           "var wlanPara = new Array(1, \"TP-LINK_112233\", 1, 6, \"54Mbps\", "
           "\"00-1D-0F-11-22-33\", \"192.168.1.1\", 0, 0);\r\n"
           "var wanPara = new Array(4, \"00-1D-0F-11-22-34\", \"10.64.12.7\", 1, "
           "\"255.255.255.255\", 0, 0, \"10.64.0.1\", 1, 0, \"202.96.134.133 , "
           "202.96.128.86\", \"\", 0, 0);\r\n"
           "var statistList = new Array(31337, 2718, 1234, 567, 0, 0);\r\n"
           "</script>\r\n"
           "<body><table><tr><td class=h>LAN口状态</td></tr>\r\n"
           "<tr><td>IP地址：</td><td id=\"lanIp\"></td></tr>\r\n"
           "<tr><td>WAN口状态</td><td>PPPoE 已连接 (1.2.3)</td></tr>\r\n"
           "<tr><td>运行时间：</td><td>0 天 02:13:45</td></tr>\r\n"
           "</table></body></html>\r\n";
}

inline std::vector<std::string> SampleStatusPageQuads() {
    return {"192.168.1.1",     "255.255.255.0", "192.168.1.1",    "10.64.12.7",
            "255.255.255.255", "10.64.0.1",     "202.96.134.133", "202.96.128.86"};
}

}  // namespace tralvex::testing
