// The row filters and the theme as the file and the command line give them: interface type
// lists, label patterns, theme names, and what a setting that cannot filter does to the start.
#include "config/row_filter_settings.h"

#include <gtest/gtest.h>

#include "config/command_line.h"
#include "config/load_xml_config.h"
#include "temp_files.h"

namespace kestrava {
namespace {

TEST(RowFilterSettings, InterfaceTypeLists) {
  struct Case {
    const char* text;
    std::vector<int> want;  // empty: refused
    const char* errorPart;
  };
  const Case cases[] = {
      {"ethernetCsmacd", {6}, ""},
      {"ETHERNETCSMACD", {6}, ""},
      {"softwareLoopback,l2vlan", {24, 135}, ""},
      {" ieee8023adLag , tunnel ", {161, 131}, ""},
      {"6 161", {6, 161}, ""},
      {"propVirtual,1", {53, 1}, ""},
      {"ethernet", {}, "\"ethernet\" is neither a number nor a known name"},
      {"0", {}, "0 is not a number from 1 up"},
      {"-6", {}, "-6 is not a number from 1 up"},
      {"99999999999", {}, "neither a number nor a known name"},
      {"", {}, "empty"},
      {" , ", {}, "empty"},
  };
  for (const Case& c : cases) {
    std::vector<int> types = {42};
    std::string error;
    const bool ok = ParseIfTypes(c.text, types, error);
    EXPECT_EQ(ok, !c.want.empty()) << c.text;
    if (ok) {
      EXPECT_EQ(types, c.want) << c.text;
      EXPECT_EQ(error, "") << c.text;
    } else {
      EXPECT_EQ(types, std::vector<int>{42}) << c.text << ": a refused list changes nothing";
      EXPECT_NE(error.find(c.errorPart), std::string::npos) << c.text << ": " << error;
    }
  }
}

TEST(RowFilterSettings, PatternsAndThemes) {
  EXPECT_EQ(LabelPatternFault("/INCLUDE", "^(eth|en)[0-9]+$"), "");
  EXPECT_EQ(LabelPatternFault("/INCLUDE", ""), "");
  const std::string fault = LabelPatternFault("/EXCLUDE", "eth(");
  EXPECT_EQ(fault.rfind("/EXCLUDE \"eth(\" is not a regular expression: ", 0), 0u) << fault;

  EXPECT_EQ(ParseTheme("light"), TTheme::kLight);
  EXPECT_EQ(ParseTheme("Dark"), TTheme::kDark);
  EXPECT_EQ(ParseTheme("SYSTEM"), TTheme::kSystem);
  EXPECT_EQ(ParseTheme("auto"), std::nullopt);
  EXPECT_EQ(ParseTheme(""), std::nullopt);
}

TEST(RowFilterSettings, CommandLineSetsFiltersOrRefusesToStart) {
  struct Case {
    std::vector<std::string> args;
    std::string include, exclude;
    std::vector<int> types;
    bool upOnly;
    TTheme theme;
    const char* errorPart;  // "" starts
  };
  const Case cases[] = {
      {{"/IFTYPE", "ethernetCsmacd", "/UPONLY"}, "", "", {6}, true, TTheme::kLight, ""},
      {{"--include", "^eth", "--exclude", "\\.100$"},
       "^eth",
       "\\.100$",
       {},
       false,
       TTheme::kLight,
       ""},
      {{"/THEME", "dark"}, "", "", {}, false, TTheme::kDark, ""},
      {{"/THEME", "purple"}, "", "", {}, false, TTheme::kLight, ""},
      {{"/INCLUDE", "[eth"}, "", "", {}, false, TTheme::kLight, "/INCLUDE \"[eth\""},
      {{"/IFTYPE", "loopback"}, "", "", {}, false, TTheme::kLight, "/IFTYPE: Interface type"},
  };
  for (const Case& c : cases) {
    TConfigRec cfg;
    TRequest session;
    const TCommandLine line = ReadCommandLine(c.args, cfg, session);
    const std::string name = c.args[0] + " " + c.args[1];
    if (*c.errorPart) {
      EXPECT_NE(line.Error.find(c.errorPart), std::string::npos) << name << ": " << line.Error;
      continue;
    }
    EXPECT_EQ(line.Error, "") << name;
    EXPECT_EQ(cfg.IncludeLabels, c.include) << name;
    EXPECT_EQ(cfg.ExcludeLabels, c.exclude) << name;
    EXPECT_EQ(cfg.IfTypes, c.types) << name;
    EXPECT_EQ(cfg.UpOnly, c.upOnly) << name;
    EXPECT_EQ(cfg.Theme, c.theme) << name;
  }
  EXPECT_EQ(CommandLineWarnings({"/THEME", "purple"}),
            std::vector<std::string>{
                "/THEME \"purple\" is not light, dark or system; light is used instead."});
  EXPECT_EQ(CommandLineWarnings({"/IFTYPE", "6", "/UPONLY", "/INCLUDE", "x"}),
            std::vector<std::string>{});
}

TEST(RowFilterSettings, FileElementsSetFiltersAndABadOneFailsTheLoad) {
  using testing_files::KestravaXml;
  using testing_files::WriteTempFile;
  const auto load = [](const std::string& children, TConfigRec& cfg,
                       std::vector<std::string>& messages) {
    TRequest session;
    return LoadXmlConfig(WriteTempFile(KestravaXml(children)), cfg, session,
                         [&](const std::string& text) { messages.push_back(text); });
  };
  TConfigRec cfg;
  std::vector<std::string> messages;
  ASSERT_TRUE(
      load("<include>^eth</include><exclude>\\.10$</exclude><iftype>6, l2vlan</iftype>"
           "<uponly>true</uponly><theme>system</theme>",
           cfg, messages));
  EXPECT_EQ(cfg.IncludeLabels, "^eth");
  EXPECT_EQ(cfg.ExcludeLabels, "\\.10$");
  EXPECT_EQ(cfg.IfTypes, (std::vector<int>{6, 135}));
  EXPECT_TRUE(cfg.UpOnly);
  EXPECT_EQ(cfg.Theme, TTheme::kSystem);

  for (const char* bad : {"<include>(</include>", "<iftype>wifi</iftype>"}) {
    TConfigRec refused;
    messages.clear();
    EXPECT_FALSE(load(bad, refused, messages)) << bad;
    ASSERT_EQ(messages.size(), 1u) << bad;
    EXPECT_NE(messages[0].find("XML Parser error!"), std::string::npos) << messages[0];
  }
  const std::string file = WriteTempFile(KestravaXml("<theme>sepia</theme>"));
  EXPECT_EQ(XmlFileWarnings(file, false),
            std::vector<std::string>{"theme \"sepia\" in " + file +
                                     " is not light, dark or system; light is used instead."});
}

}  // namespace
}  // namespace kestrava
