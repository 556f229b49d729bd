// The browser station's parts that need no network: the pages' shared
// keys, who may connect, and the reading of the page's messages.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <set>
#include <sstream>

#include "access.h"
#include "opstation/panel/key_model.h"
#include "opstation/panel/vocabulary.h"
#include "opstation/serve/page_protocol.h"
#include "shared_keys.h"
#include "station_loop.h"

namespace opstation::serve {
namespace {

using ::testing::HasSubstr;

// Steps of pages and cycles, one a line: "1 down run", "2 up run",
// "1 keydown F2" (a code the page sends), "2 letgo", and "sample run -1"
// for what the next cycle reports of a key.
struct KeysCase {
    const char *name;
    const char *steps;
};

const KeysCase kKeysCases[] = {
    {"a tap shorter than a cycle is reported once", "1 down run\n1 up run\nsample run -1\nsample run 0"},
    {"a key stays held while another page holds it",
     "1 down stop\n2 down stop\n1 up stop\nsample stop -1\nsample stop -1\n2 up stop\nsample stop 0"},
    {"the last page's release lets go, whichever page pressed first",
     "1 down esc\n2 down esc\n2 up esc\n1 up esc\nsample esc -1\nsample esc 0"},
    {"a page that goes lets go of what only it holds",
     "1 down jog\n2 down menu\n1 down menu\n1 letgo\nsample jog -1\nsample jog 0\nsample menu -1\nsample menu -1"},
    {"a release of a key the page does not hold changes nothing", "1 down dir\n2 up dir\nsample dir -1\nsample dir -1"},
    {"a PC key's release lets go of its panel keys, as in the window",
     "1 down up\n1 keydown F2\n1 keyup F2\nsample up -1\nsample up 0\nsample down -1\nsample down 0"},
    {"but not of a key another page holds", "2 down up\n1 keydown F2\n1 keyup F2\nsample up -1\nsample up -1\nsample down -1\nsample down 0"},
    {"a press by another page latches again", "1 down run\nsample run -1\n2 down run\n2 up run\n1 up run\nsample run -1\nsample run 0"},
};

class SharedKeysTest : public ::testing::TestWithParam<KeysCase> {};

TEST_P(SharedKeysTest, StationSees) {
    StationState state;
    SharedKeys keys([&](PanelKey key, bool down) { down ? press(state, key) : release(state, key); });
    std::istringstream steps(GetParam().steps);
    std::string line;
    while (std::getline(steps, line)) {
        std::istringstream words(line);
        std::string who, what, name;
        words >> who >> what >> name;
        if (who == "sample") {
            EXPECT_EQ(sample(state, *valueOf(kPanelKeyNames, what)), std::stoi(name)) << line;
            continue;
        }
        const auto page = std::stoull(who);
        const auto key = valueOf(kPanelKeyNames, name);
        const auto pcKey = std::find_if(pcKeyCodes().begin(), pcKeyCodes().end(), [&](const auto &c) { return c.code == name; });
        if (what == "down") keys.pointerDown(page, *key);
        if (what == "up") keys.pointerUp(page, *key);
        if (what == "keydown") keys.pcKeyDown(page, pcKey->virtualKey);
        if (what == "keyup") keys.pcKeyUp(page, pcKey->virtualKey);
        if (what == "letgo") keys.letGo(page);
    }
}

INSTANTIATE_TEST_SUITE_P(Pages, SharedKeysTest, ::testing::ValuesIn(kKeysCases), [](const auto &info) {
    std::string name = info.param.name;
    for (char &c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
});

TEST(Access, HostHeadersNameOnlyThisStation) {
    const HostRule loopback{"127.0.0.1", false, {"station.lab"}};
    const HostRule everywhere{"0.0.0.0", true, {}};
    const HostRule ipv6{"::1", false, {}};
    const struct {
        const HostRule &rule;
        const char *host;
        bool allowed;
    } cases[] = {
        {loopback, "127.0.0.1:8040", true},      {loopback, "localhost:8040", true},
        {loopback, "LocalHost", true},           {loopback, "station.lab:443", true},
        {loopback, "evil.example:8040", false},  {loopback, "127.0.0.1.evil.example", false},
        {loopback, "", false},                   {loopback, "192.168.1.5:8040", false},
        {everywhere, "192.168.1.5:8040", true},  {everywhere, "[fe80::1]:8040", true},
        {everywhere, "rebound.example", false},  {everywhere, "1.2.3:80", false},
        {ipv6, "[::1]:8040", true},              {ipv6, "[::2]:8040", false},
    };
    for (const auto &c : cases) EXPECT_EQ(c.rule.allows(c.host), c.allowed) << c.host;
}

TEST(Access, WebSocketsOnlyFromThePagesOwnOrigin) {
    EXPECT_TRUE(sameOrigin("http://127.0.0.1:8040", "127.0.0.1:8040"));
    EXPECT_TRUE(sameOrigin("https://Station.Lab", "station.lab"));  // through a proxy with TLS
    for (const char *origin : {"http://evil.example", "null", "", "http://127.0.0.1:8041", "ws://127.0.0.1:8040"})
        EXPECT_FALSE(sameOrigin(origin, "127.0.0.1:8040")) << origin;
}

TEST(Access, TokensAreRandomAndGiveTheirRoleOnly) {
    const AccessTokens tokens{newToken(), newToken()};
    EXPECT_THAT(tokens.operating, ::testing::MatchesRegex("[0-9a-f]{32}"));
    EXPECT_NE(tokens.operating, tokens.viewing);
    EXPECT_EQ(tokens.roleOf(tokens.operating), Role::operating);
    EXPECT_EQ(tokens.roleOf(tokens.viewing), Role::viewing);
    for (const std::string &wrong : {std::string(), tokens.operating.substr(1), tokens.operating + "0"})
        EXPECT_EQ(tokens.roleOf(wrong), std::nullopt) << wrong;
    // Without a view link, no token (the empty one least of all) watches.
    EXPECT_EQ((AccessTokens{tokens.operating, ""}.roleOf("")), std::nullopt);
}

TEST(Access, RequestsCarryTokensInTheirQueryOrCookie) {
    EXPECT_EQ(queryValue("/?token=abc&x=1", "token"), "abc");
    EXPECT_EQ(queryValue("/ws?x=1&token=def", "token"), "def");
    EXPECT_EQ(queryValue("/ws?tokens=def", "token"), std::nullopt);
    EXPECT_EQ(pathOf("/ws?token=1"), "/ws");
    EXPECT_EQ(cookieValue("a=1; opstation-8040=xyz; b=2", "opstation-8040"), "xyz");
    EXPECT_EQ(cookieValue("opstation-8041=xyz", "opstation-8040"), std::nullopt);
    EXPECT_EQ(tokenCookie(8040, "xyz"), "opstation-8040=xyz; HttpOnly; SameSite=Strict; Path=/");
}

TEST(Access, ListenAddresses) {
    EXPECT_EQ(parseListenAddress("127.0.0.1:8040")->port, 8040);
    EXPECT_EQ(parseListenAddress("[::1]:0")->address, "::1");
    EXPECT_EQ(parseListenAddress("localhost:80")->address, "127.0.0.1");
    for (const char *wrong : {"127.0.0.1", ":80", "127.0.0.1:", "127.0.0.1:65536", "127.0.0.1:8o"})
        EXPECT_EQ(parseListenAddress(wrong), std::nullopt) << wrong;
}

TEST(PageProtocol, ReadsWhatThePageSends) {
    const struct {
        const char *text;
        PageMessage::Kind kind;
        PanelKey key;
        int pcKey;
    } cases[] = {
        {R"({"t":"down","key":"run"})", PageMessage::Kind::pointerDown, PanelKey::run, 0},
        {R"({"key":"disp","t":"up"})", PageMessage::Kind::pointerUp, PanelKey::disp, 0},
        {R"({"t":"keydown","code":"KeyE"})", PageMessage::Kind::pcKeyDown, PanelKey::up, vk::e},
        {R"({"t":"keyup","code":"F4"})", PageMessage::Kind::pcKeyUp, PanelKey::up, vk::f4},
        {R"( {"t" : "letgo"} )", PageMessage::Kind::letGo, PanelKey::up, 0},
    };
    for (const auto &c : cases) {
        const auto read = readPageMessage(c.text);
        ASSERT_TRUE(std::holds_alternative<PageMessage>(read)) << c.text << ": " << std::get<Rejection>(read).reason;
        const auto &m = std::get<PageMessage>(read);
        EXPECT_EQ(m.kind, c.kind) << c.text;
        if (c.kind == PageMessage::Kind::pointerDown || c.kind == PageMessage::Kind::pointerUp) {
            EXPECT_EQ(m.key, c.key) << c.text;
        }
        EXPECT_EQ(m.pcKey, c.pcKey) << c.text;
    }
}

TEST(PageProtocol, RejectsEverythingElseWithAReason) {
    const struct {
        std::string text;
        const char *reason;
    } cases[] = {
        {"not json", "not JSON"},
        {R"(["down","run"])", "no object"},
        {R"({"t":5})", "no object with a kind"},
        {R"({"t":"press","key":"run"})", "unknown kind of message \"press\""},
        {R"({"t":"down","key":"RUN"})", "unknown panel key \"RUN\""},
        {R"({"t":"down","key":7})", "without its one field \"key\""},
        {R"({"t":"down"})", "without its one field"},
        {R"({"t":"down","key":"run","code":"KeyR"})", "without its one field"},
        {R"({"t":"keydown","code":"KeyQ"})", "not on the panel's key map: \"KeyQ\""},
        {R"({"t":"keydown","code":"Escape"})", "not on the panel's key map"},
        {R"({"t":"letgo","now":true})", "with other fields"},
        {R"({"t":"down","key":"\u0001\n"})", "unknown panel key \"??\""},
        {"{\"t\":\"" + std::string(1100, 'x') + "\"}", "more than 1024"},
        {"{\"t\":\"down\",\"key\":\"\xff\"}", "not JSON"},  // not UTF-8
    };
    for (const auto &c : cases) {
        const auto read = readPageMessage(c.text);
        ASSERT_TRUE(std::holds_alternative<Rejection>(read)) << c.text;
        EXPECT_THAT(std::get<Rejection>(read).reason, HasSubstr(c.reason)) << c.text;
    }
}

TEST(PageProtocol, PassesOnExactlyThePcKeysOfTheKeyMap) {
    std::set<int> passed;
    for (const PcKeyCode &code : pcKeyCodes()) passed.insert(code.virtualKey);
    for (int virtualKey = 0; virtualKey < 256; ++virtualKey)
        EXPECT_EQ(passed.count(virtualKey) == 1, !panelKeysFor(virtualKey).empty()) << virtualKey;
}

// Lines travel whole: NULs and code page characters as the station has them.
TEST(PageProtocol, StateCarriesTheLinesWholeAndTheLedsInTheHellosOrder) {
    StationView view;
    view.title = u"T\u20ac";
    view.lines = {Text(u"RUN\0\0x", 6), Text(u"\u00ff\xd800z")};
    view.lit[static_cast<std::size_t>(Led::localRef)] = true;
    view.shows[static_cast<std::size_t>(Led::health)] = LedShowing::flashing;
    const auto state = nlohmann::json::parse(stateMessage(view, 42));
    EXPECT_EQ(state["cycle"], 42);
    EXPECT_EQ(state["title"], "T\u20ac");
    EXPECT_EQ(state["lines"][0], std::string("RUN\0\0x", 6));
    EXPECT_EQ(state["lines"][1], "\u00ff\ufffdz");
    const auto hello = nlohmann::json::parse(helloMessage(Role::viewing, true));
    EXPECT_EQ(hello["role"], "viewer");
    EXPECT_EQ(hello["recording"], true);
    const auto leds = hello["leds"].get<std::vector<std::string>>();
    const auto at = [&](std::string_view name) { return std::find(leds.begin(), leds.end(), name) - leds.begin(); };
    EXPECT_EQ(state["lit"][at("ref")], 1);
    EXPECT_EQ(state["lit"][at("seq")], 0);
    EXPECT_EQ(state["shows"][at("health")], "flashing");
}

TEST(PeriodHistogram, PercentilesOfTheCyclePeriods) {
    PeriodHistogram periods;
    for (int i = 0; i < 990; ++i) periods.add(std::chrono::microseconds(40'020));
    for (int i = 0; i < 10; ++i) periods.add(std::chrono::milliseconds(45));
    periods.add(std::chrono::milliseconds(900));  // beyond the bins
    EXPECT_EQ(periods.count(), 1001u);
    EXPECT_EQ(periods.percentile(0.5), std::chrono::microseconds(40'050));
    EXPECT_EQ(periods.percentile(0.995), std::chrono::microseconds(45'050));  // to the bin's width
    EXPECT_EQ(periods.longest(), std::chrono::milliseconds(900));
}

}  // namespace
}  // namespace opstation::serve
