// The harness's settings, tq.cfg and the status servers' files: see harness.h.
#include <algorithm>
#include <cstdio>

#include "harness.h"

namespace e2e {

Options g_opt;

std::string render(const Cfg& c) {
    std::vector<std::string> l(69);
    for (const Slot& s : c.slots) {
        l[static_cast<size_t>(2 * s.index)] = s.name;
        l[static_cast<size_t>(2 * s.index + 1)] = s.position;
    }
    l[60] = " 0 ";
    l[61] = " 0 ";
    l[62] = c.top;
    l[63] = c.left;
    l[64] = c.scheme;
    l[65] = c.interval;
    l[66] = c.gap;
    l[67] = c.delay;
    l[68] = c.keywait;
    std::string out;
    for (const auto& x : l) out += x + "\r\n";
    return out;
}

const std::vector<Slot> kSlots = {
    {0, "DT_TWR", "EDDT_TWR"},  {1, "DT_GND", "EDDT_GND"},  {2, "DT_APP", "EDDT_APP"},
    {3, "SPARE", ""},           {5, "DB_TWR", "EDDB_TWR"},  {10, "WW_CTR", "EDWW_CTR"},
    {11, "UU_CTR", "EDUU_CTR"}, {20, "DH_TWR", "EDDH_TWR"}, {29, "DF_APP", "EDDF_APP"},
};

const std::vector<Staffed> kStaffed = {
    {0, "EDDT_TWR", "Anna Schmidt", "118.700"},
    {2, "EDDT_APP", "Jonas Weber", "119.605"},  // an 8.33 kHz channel, shown whole
    {10, "EDWW_CTR", "Lena Fischer", "129.050"},
    {20, "EDDH_TWR", "Mark Olsen", "121.900"},
};

std::string statusFile() {
    std::string s =
        "!GENERAL\r\nVERSION = 1\r\nRELOAD = 1\r\nUPDATE = 20261207065500\r\n"
        "CONNECTED CLIENTS = 7\r\n!CLIENTS\r\n";
    for (const Staffed& st : kStaffed) {
        s += st.callsign + ":" + std::to_string(100000 + st.slot) + ":" + st.name +
             ":ATC:" + st.freq + ":52.55970:13.28770:0:0::::::::::IV3:2:5::B:::::::::::::\r\n";
    }
    s +=
        "DLH4CK:200001:Paul Berger:PILOT::52.36:13.50:3200:250:A320:N0450:EDDT:FL340:LEMD:::::\r\n";
    s += "EDDM_TWR:200002:Eva Huber:ATC:120.500:48.35:11.78:0:0::::::::::IV3:2:5::B:::::\r\n";
    s += "EDDK_APP:200003:Tom Becker:ATC:135.350:50.86:7.14:0:0::::::::::IV3:2:5::B:::::\r\n";
    s += "!SERVERS\r\nEU1:1.2.3.4:Europe:EU1:1:\r\n";
    return s;
}

// Zeros from the sixth character on are cut: "118.700" shows "118.7",
// "119.605" stays whole.
std::string shownFreq(const std::string& f) {
    return f.size() > 5 && f.find_first_not_of('0', 5) == std::string::npos ? f.substr(0, 5) : f;
}

void serveIndex(const std::string& statusHost) {
    std::string idx = "!GENERAL\r\nurl0=http://" + statusHost + "/whazzup.txt\r\n";
    writeFile(g_opt.www + L"\\www.ivao.aero\\whazzup\\status.txt", idx);
}

void serveIndexUrl(const std::string& url) {
    writeFile(g_opt.www + L"\\www.ivao.aero\\whazzup\\status.txt",
              "!GENERAL\r\nurl0=" + url + "\r\n");
}

void serveStatus(const std::string& body) {
    writeFile(g_opt.www + L"\\status.test.aero\\whazzup.txt", body);
}

void setIndexDelay(double seconds) {
    char b[32];
    std::snprintf(b, sizeof b, "%.1f\n", seconds);
    writeFile(g_opt.www + L"\\www.ivao.aero\\.delay", b);
}

size_t lineCount(const wchar_t* logName) {
    std::string s;
    readFile(g_opt.www + L"\\" + logName, s);
    return static_cast<size_t>(std::count(s.begin(), s.end(), '\n'));
}

std::vector<int> staffedSlots() {
    std::vector<int> v;
    for (const Staffed& s : kStaffed) v.push_back(s.slot);
    return v;
}

const wchar_t kIndexEveryUpdate[] = L"--status-index http://www.ivao.aero/whazzup/status.txt";

Cfg standardCfg() {
    Cfg c;
    c.slots = kSlots;
    return c;
}

}  // namespace e2e
