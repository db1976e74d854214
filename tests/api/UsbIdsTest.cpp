// The unit's USB ids: which place wins, what is passed over and said, and what a list may hold.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "usb/UsbIds.h"

namespace {

struct ChoiceCase {
  const char* name;
  std::map<std::string, std::string> places;  // variables by name, files by path
  const char* ids;                            // in force, joined by commas
  const char* source;
  std::vector<const char*> problems;  // a part of each reported line, in order
};

TEST(UsbIds, FirstWellFormedPlaceWinsAndEveryMalformedOneBeforeItIsSaid) {
  const std::string user = "/h/.config/qel/usb-ids";
  const std::string system = "/etc/xdg/qel/usb-ids";
  std::string longList = "1234:5678";
  while (longList.size() <= usb::kMaxUsbIdsText) longList += ",1234:5678";
  // clang-format off
  const ChoiceCase cases[] = {
      {"nothing set", {}, "04b4:1004", "built-in default", {}},
      {"the variable, with blanks, case and repeats",
       {{"QEL_USB_IDS", " 1234:ABCD ,\t04b4:1004,1234:abcd\n"}, {"HOME", "/h"}, {user, "a:b"}},
       "1234:abcd,04b4:1004", "QEL_USB_IDS", {}},
      {"an empty variable is unset", {{"QEL_USB_IDS", ""}, {"HOME", "/h"}, {user, "aaaa:bbbb\n"}},
       "aaaa:bbbb", user.c_str(), {}},
      {"XDG_CONFIG_HOME, then the system's folder",
       {{"XDG_CONFIG_HOME", "/c"}, {"/c/qel/usb-ids", "aaaa:bbbb"}, {system, "cccc:dddd"}},
       "aaaa:bbbb", "/c/qel/usb-ids", {}},
      {"a relative XDG_CONFIG_HOME is unset",
       {{"XDG_CONFIG_HOME", "c"}, {"HOME", "/h"}, {"c/qel/usb-ids", "a:b"}, {user, "cccc:dddd"}},
       "cccc:dddd", user.c_str(), {}},
      {"malformed places fall through, in order",
       {{"QEL_USB_IDS", "1234:5678,"}, {"HOME", "/h"}, {"XDG_CONFIG_DIRS", "/a:b:/c"},
        {user, "1234:5678\n9abc:def0\n"}, {"b/qel/usb-ids", "bbbb:bbbb"},
        {"/c/qel/usb-ids", "eeee:ffff"}, {system, "1:2"}},
       "eeee:ffff", "/c/qel/usb-ids",
       {"QEL_USB_IDS=\"1234:5678,\" is not a list",
        "/h/.config/qel/usb-ids: \"1234:5678\\x0a9abc:def0\\x0a\" is not"}},
      {"an empty file", {{system, ""}}, "04b4:1004", "built-in default",
       {"/etc/xdg/qel/usb-ids: \"\" is not a list"}},
      {"a list longer than any unit needs", {{"QEL_USB_IDS", longList}}, "04b4:1004",
       "built-in default", {"QEL_USB_IDS=\"1234:5678,1234:5678,1234:5678,1234:5678,...\""}},
  };
  // clang-format on
  for (const ChoiceCase& c : cases) {
    SCOPED_TRACE(c.name);
    const auto lookUp = [&](const std::string& key) -> std::optional<std::string> {
      const auto it = c.places.find(key);
      return it == c.places.end() ? std::nullopt : std::optional(it->second);
    };
    const usb::UsbIdChoice choice = usb::ChooseUsbIds({lookUp, lookUp});
    std::string ids;
    for (const usb::UsbId& id : choice.ids) ids += (ids.empty() ? "" : ",") + usb::UsbIdText(id);
    EXPECT_EQ(ids, c.ids);
    EXPECT_EQ(choice.source, c.source);
    ASSERT_EQ(choice.problems.size(), c.problems.size());
    for (size_t i = 0; i < c.problems.size(); ++i) {
      EXPECT_THAT(choice.problems[i], ::testing::HasSubstr(c.problems[i]));
    }
  }
}

TEST(UsbIds, AListWithAnyFaultIsRefusedWhole) {
  for (const char* text : {"1234:567", "12345:5678", "1234-5678", "0x1234:5678", "1234:5678,",
                           ",1234:5678", "1234:5678,,abcd:0001", "1234:5678 abcd:0001",
                           "1234:5678\n9abc:def0", "1234:56g8", "1234:5678:9abc", " ", "\n"}) {
    EXPECT_FALSE(usb::ParseUsbIds(text)) << text;
  }
}

}  // namespace
