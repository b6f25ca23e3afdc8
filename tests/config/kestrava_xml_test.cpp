// The XML binding: element look-up, conversions, and the guards before the DOM parser.
#include "config/kestrava_xml.h"

#include <gtest/gtest.h>

#include "temp_files.h"

namespace kestrava {
namespace {

using testing_files::KestravaXml;
using testing_files::WriteTempFile;

QDomDocument Parse(const std::string& xml) {
  QDomDocument doc;
  EXPECT_TRUE(doc.setContent(QByteArray::fromStdString(xml)));
  return doc;
}

TEST(KestravaXml, BooleanConversion) {
  const struct {
    const char* text;
    bool want;
  } good[] = {{"true", true},   {"TRUE", true}, {"True", true}, {"false", false},
              {"FaLsE", false}, {"0", false},   {"1", true},    {"-3", true}};
  for (const auto& c : good) EXPECT_EQ(XmlToBool(c.text), c.want) << c.text;
  for (const char* bad : {"", "yes", "t", " true", "1.0", "truex"}) {
    EXPECT_THROW(XmlToBool(bad), EXmlConversion) << bad;
  }
}

TEST(KestravaXml, IntegerConversion) {
  EXPECT_EQ(XmlToInt("42"), 42);
  EXPECT_EQ(XmlToInt("-5"), -5);
  for (const char* bad : {"", "abc", "4 2", "0x10", "1e3", "99999999999"}) {
    EXPECT_THROW(XmlToInt(bad), EXmlConversion) << bad;
  }
  try {
    XmlToInt("abc");
  } catch (const EXmlConversion& e) {
    EXPECT_STREQ(e.what(), "'abc' is not a valid integer value");
  }
}

TEST(KestravaXml, FirstOccurrenceCountsAndMissingReadsEmpty) {
  const QDomDocument doc =
      Parse(KestravaXml("<charttitle>first</charttitle><charttitle>second</charttitle>"
                        "<unknown>x</unknown><width>800</width><chart3d>false</chart3d>"));
  const TXMLKestravaType root = GetConfigRoot(doc);
  EXPECT_EQ(root.Charttitle(), "first");
  EXPECT_EQ(root.Width(), 800);
  EXPECT_EQ(root.Host(), "");
  EXPECT_EQ(root.Preferredinstance(), "");
  // Names are case-sensitive: "chart3d" is not "chart3D", which is missing and so empty.
  EXPECT_THROW(root.Chart3D(), EXmlConversion);
  EXPECT_THROW(root.Height(), EXmlConversion);
  // A missing "shooter" reads as empty all the way down.
  EXPECT_EQ(root.Shooter().Shootertargets().Count(), 0);
  EXPECT_THROW(root.Shooter().Remoteport(), EXmlConversion);
}

TEST(KestravaXml, TextIsUtf8) {
  const QDomDocument doc = Parse(KestravaXml("<charttitle>Empfänger &amp; Sender</charttitle>"));
  EXPECT_EQ(GetConfigRoot(doc).Charttitle(), "Empf\xC3\xA4nger & Sender");
}

TEST(KestravaXml, TargetsInDocumentOrder) {
  const QDomDocument doc = Parse(KestravaXml(
      "<shooter><raw>1</raw><remoteport>1161</remoteport><snmpversion>2</snmpversion>"
      "<shootertargets>"
      "<shootertarget><oid>1.1</oid><visible>true</visible></shootertarget>"
      "<other><oid>ignored</oid></other>"
      "<shootertarget><oid>2.2</oid><oiddescr>Two</oiddescr><instance>AT RUNTIME</instance>"
      "<visible>0</visible><formula>f</formula></shootertarget>"
      "</shootertargets>"
      "<shootertargets><shootertarget><oid>not read</oid></shootertarget></shootertargets>"
      "</shooter>"));
  const TXMLShooterType shooter = GetConfigRoot(doc).Shooter();
  EXPECT_TRUE(shooter.Raw());
  EXPECT_EQ(shooter.Remoteport(), 1161);
  EXPECT_EQ(shooter.Snmpversion(), 2);
  const TXMLShootertargetsType targets = shooter.Shootertargets();
  ASSERT_EQ(targets.Count(), 2);
  EXPECT_EQ(targets.Item(0).Oid(), "1.1");
  EXPECT_TRUE(targets.Item(0).Visible());
  EXPECT_EQ(targets.Item(0).Oiddescr(), "");
  EXPECT_EQ(targets.Item(1).Oid(), "2.2");
  EXPECT_EQ(targets.Item(1).Oiddescr(), "Two");
  EXPECT_EQ(targets.Item(1).Instance(), "AT RUNTIME");
  EXPECT_FALSE(targets.Item(1).Visible());
  EXPECT_EQ(targets.Item(1).Formula(), "f");
}

// Every accessor reads the element's text without the blanks around it; blanks inside stay.
TEST(KestravaXml, BlanksAroundTextAreTrimmed) {
  const QDomDocument doc = Parse(KestravaXml(
      "<charttitle> Top  receivers \t</charttitle><width>\n 800\r\n</width>"
      "<chart3D>\ttrue\t</chart3D><host>\r\n::1\r\n</host><antialias> 1 </antialias>"
      "<shooter><raw> false </raw><remoteport> 16161 </remoteport><snmpversion> 3 </snmpversion>"
      "<bulkwalk> FALSE </bulkwalk><user> ops </user><securitylevel> authPriv </securitylevel>"
      "<authprotocol> SHA-256 </authprotocol><authpassword> auth pass </authpassword>"
      "<privprotocol> AES </privprotocol><privpassword>\tpriv pass\t</privpassword>"
      "<contextname> c1 </contextname><shootertargets><shootertarget>"
      "<oid> 1.1 </oid><visible> true </visible><instance> AT RUNTIME </instance>"
      "<formula> F,A,A=1.1, </formula></shootertarget></shootertargets></shooter>"
      "<community>   </community>"));
  const TXMLKestravaType root = GetConfigRoot(doc);
  EXPECT_EQ(root.Charttitle(), "Top  receivers");
  EXPECT_EQ(root.Width(), 800);
  EXPECT_TRUE(root.Chart3D());
  EXPECT_EQ(root.Host(), "::1");
  EXPECT_EQ(root.Community(), "");
  EXPECT_TRUE(root.Antialias());
  const TXMLShooterType shooter = root.Shooter();
  EXPECT_FALSE(shooter.Raw());
  EXPECT_EQ(shooter.Remoteport(), 16161);
  EXPECT_EQ(shooter.Snmpversion(), 3);
  EXPECT_FALSE(shooter.Bulkwalk());
  EXPECT_EQ(shooter.User(), "ops");
  EXPECT_EQ(shooter.Securitylevel(), "authPriv");
  EXPECT_EQ(shooter.Authprotocol(), "SHA-256");
  EXPECT_EQ(shooter.Authpassword(), "auth pass");
  EXPECT_EQ(shooter.Privprotocol(), "AES");
  EXPECT_EQ(shooter.Privpassword(), "priv pass");
  EXPECT_EQ(shooter.Contextname(), "c1");
  const TXMLShootertargetType target = shooter.Shootertargets().Item(0);
  EXPECT_EQ(target.Oid(), "1.1");
  EXPECT_TRUE(target.Visible());
  EXPECT_EQ(target.Instance(), "AT RUNTIME");
  EXPECT_EQ(target.Formula(), "F,A,A=1.1,");
  // The new elements read as empty when they are missing, as every element does.
  const TXMLShooterType bare = GetConfigRoot(Parse(KestravaXml("<shooter/>"))).Shooter();
  EXPECT_EQ(bare.User(), "");
  EXPECT_EQ(bare.Contextname(), "");
  EXPECT_THROW(bare.Bulkwalk(), EXmlConversion);
}

TEST(KestravaXml, WrongRootIsRefused) {
  const QDomDocument doc = Parse("<shooter><raw>true</raw></shooter>");
  try {
    GetConfigRoot(doc);
    FAIL() << "a root other than kestrava was accepted";
  } catch (const EXmlConversion& e) {
    EXPECT_STREQ(e.what(), "The root element is 'shooter', not 'kestrava'.");
  }
}

// Each damaged file and the start of the reason it is refused with.
TEST(KestravaXml, OpenRefusesDamagedFiles) {
  const std::string deep = std::string("<kestrava>") + [] {
    std::string s;
    for (int i = 0; i < 32; ++i) s += "<a>";
    for (int i = 0; i < 32; ++i) s += "</a>";
    return s;
  }() + "</kestrava>";
  const std::string deepEnough = [] {
    std::string s;
    for (int i = 0; i < 31; ++i) s += "<a>";
    for (int i = 0; i < 31; ++i) s += "</a>";
    return "<kestrava>" + s + "</kestrava>";
  }();
  const std::size_t kMiB = 1024 * 1024;
  const std::size_t shellSize = KestravaXml("").size();
  const struct {
    const char* name;
    std::string contents;
    std::string reasonStart;  // empty: opens
  } cases[] = {
      {"well formed", KestravaXml("<host>h</host>"), ""},
      {"32 levels", deepEnough, ""},
      {"33 levels", deep, "Elements are nested deeper than 32 levels."},
      {"unclosed", "<kestrava><host>h</kestrava>",
       "Opening and ending tag mismatch. (line 1, column 28)"},
      {"truncated", "<kestrava><host>h</host>", "Premature end of document. (line 1, column 24)"},
      {"empty file", "", "Premature end of document."},
      {"just text", "hello", "Start tag expected. (line 1, column 1)"},
      {"exactly 1 MiB", KestravaXml(std::string(kMiB - shellSize, ' ')), ""},
      {"1 MiB and a byte", KestravaXml(std::string(kMiB - shellSize + 1, ' ')),
       "The file is larger than 1 MiB."},
  };
  for (const auto& c : cases) {
    const std::string file = WriteTempFile(c.contents);
    QDomDocument doc;
    if (c.reasonStart.empty()) {
      EXPECT_NO_THROW(OpenConfigDocument(file, doc)) << c.name;
      continue;
    }
    try {
      OpenConfigDocument(file, doc);
      ADD_FAILURE() << c.name << ": opened";
    } catch (const EXmlConversion& e) {
      EXPECT_EQ(std::string(e.what()).substr(0, c.reasonStart.size()), c.reasonStart)
          << c.name << ": " << e.what();
    }
  }
}

TEST(KestravaXml, MissingFileIsRefused) {
  QDomDocument doc;
  EXPECT_THROW(OpenConfigDocument(::testing::TempDir() + "/no-such-file.xml", doc), EXmlConversion);
  EXPECT_THROW(OpenConfigDocument(::testing::TempDir(), doc), EXmlConversion);
}

// A file nested 40,000 deep costs the DOM parser seconds to minutes; the guard refuses it
// after reading 33 start tags. Correctness only here: the time is measured in bench/.
TEST(KestravaXml, DeepNestingIsRefusedBeforeTheParser) {
  std::string xml = "<kestrava>";
  for (int i = 0; i < 40000; ++i) xml += "<a>";
  const std::string file = WriteTempFile(xml);
  QDomDocument doc;
  EXPECT_THROW(OpenConfigDocument(file, doc), EXmlConversion);
  EXPECT_TRUE(doc.isNull());
}

}  // namespace
}  // namespace kestrava
