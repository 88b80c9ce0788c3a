// Window descriptions: every property of the main window's description that
// changes something reaches the form, those it only stores are accepted and
// dropped, and every kind of fault, in the order written, including
// a property or value the program's descriptions do not use, is refused with
// a message that names the offender.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "drawing/exception.h"
#include "imaging/resources.h"
#include "tests/support/message_of.h"
#include "toolkit/form.h"
#include "toolkit/timer.h"

namespace {

// A form of the given class whose handlers FormClick and Timer1Timer note
// their calls; its description comes from `instance`.
class DescribedForm : public TForm {
 public:
  DescribedForm(std::vector<std::string>* calls, std::string_view className, HINSTANCE instance)
      : TForm(nullptr, className,
              {{"FormClick", [calls](TObject*) { calls->push_back("FormClick"); }},
               {"Timer1Timer", [calls](TObject*) { calls->push_back("Timer1Timer"); }}},
              instance) {}
};

// The description of form fTest with the given properties and a Timer1.
std::string Describe(const std::string& formProperties, const std::string& timerProperties = R"("Interval": 1)") {
  return R"({"object": "fTest", "class": "TfTest", "properties": {)" + formProperties +
         R"(}, "components": [{"object": "Timer1", "class": "TTimer", "properties": {)" + timerProperties + "}}]}";
}

class DescriptionTest : public ::testing::Test {
 protected:
  std::unique_ptr<DescribedForm> Read(const std::string& text) {
    text_ = text;
    const imaging::ResourceEntry entry{imaging::ResourceType::RCData, "TFTEST",
                                       reinterpret_cast<const unsigned char*>(text_.data()), text_.size()};
    table_ = imaging::ResourceTable();
    table_.Add({&entry, 1});
    return std::make_unique<DescribedForm>(&calls_, "TfTest", &table_);
  }

  std::string ErrorOf(const std::string& text) {
    return support::MessageOf([&] { Read(text); });
  }

  std::string text_;
  imaging::ResourceTable table_;
  std::vector<std::string> calls_;
};

TEST_F(DescriptionTest, MainWindowDescriptionIsAppliedInFull) {
  // The program's own description, found by class name ignoring case.
  DescribedForm form(&calls_, "TfMain", HInstance);

  EXPECT_EQ(form.Name, "fMain");
  EXPECT_EQ(form.Left, 250);
  EXPECT_EQ(form.Top, 220);
  EXPECT_EQ(form.BorderIcons, (std::set<TBorderIcon>{biSystemMenu, biMinimize}));
  EXPECT_EQ(form.BorderStyle, bsSingle);
  EXPECT_EQ(form.Caption, "Rain");
  EXPECT_EQ(form.ClientHeight, 495);
  EXPECT_EQ(form.ClientWidth, 784);
  EXPECT_EQ(form.Color, clBlack);

  TTimer* timer = form.Component<TTimer>("Timer1");
  EXPECT_EQ(timer->Interval(), 1u);
  EXPECT_TRUE(timer->Enabled());
  EXPECT_EQ(form.Components().size(), 1u);

  // Each event property is bound to the handler it names.
  form.OnClick(&form);
  timer->OnTimer()(timer);
  EXPECT_EQ(calls_, (std::vector<std::string>{"FormClick", "Timer1Timer"}));
}

TEST_F(DescriptionTest, ValuesOtherThanTheMainWindowsAreRead) {
  auto form = Read(Describe(R"("BorderIcons": [], "Left": -5, "OldCreateOrder": true, "Caption": "",
                               "Font.Name": "Other", "ClientWidth": 16384)",
                            R"("Interval": 250)"));
  EXPECT_TRUE(form->BorderIcons.empty());
  EXPECT_EQ(form->Left, -5);
  EXPECT_EQ(form->Caption, "");
  EXPECT_EQ(form->ClientWidth, 16384);
  EXPECT_EQ(form->Component<TTimer>("Timer1")->Interval(), 250u);
}

// Each fault is refused with a message naming it.  The first fault in
// writing order is the one reported: a reader that sorted keys would report
// Alpha, not Zulu.
TEST_F(DescriptionTest, FaultyPropertiesAreRefusedNamingTheOffender) {
  const std::string interval = R"("Interval": 1)";
  const struct {
    std::string form, timer, message;
  } faults[] = {
      {R"("Zulu": 1, "Alpha": 2)", interval, "fTest.Zulu: property Zulu does not exist"},
      {"", R"("Intervall": 1)", "Timer1.Intervall: property Intervall does not exist"},
      {R"("Left": "250")", interval, "fTest.Left: expected an integer, found a string"},
      {R"("ClientWidth": 784.5)", interval, "fTest.ClientWidth: expected an integer, found a fraction"},
      {R"("OldCreateOrder": 0)", interval, "fTest.OldCreateOrder: expected a boolean, found an integer"},
      {R"("BorderIcons": "biSystemMenu")", interval, "fTest.BorderIcons: expected a list, found a string"},
      {R"("BorderIcons": ["biSystemMenu", "biMinimise"])", interval, "fTest.BorderIcons: invalid value biMinimise"},
      {R"("ClientWidth": 0)", interval, "fTest.ClientWidth: 0 is out of range 1 ... 16384"},
      {R"("Left": 18446744073709551615)", interval,
       "fTest.Left: 18446744073709551615 is out of range -2147483648 ... 2147483647"},
      {R"("OnClick": "FormClik")", interval, "fTest.OnClick: no event handler named FormClik"},
      // Properties and values the program's descriptions do not use.
      {R"("DoubleBuffered": true)", interval, "fTest.DoubleBuffered: property DoubleBuffered does not exist"},
      {"", R"("Interval": 1, "Enabled": false)", "Timer1.Enabled: property Enabled does not exist"},
      {R"("BorderStyle": "bsSizeable")", interval, "fTest.BorderStyle: invalid value bsSizeable"},
      {R"("Color": 255)", interval, "fTest.Color: expected a string, found an integer"},
      {R"("Font.Style": ["fsBold"])", interval, "fTest.Font.Style: invalid value fsBold"},
      {"", R"("OnTimer": "Timer2Timer")", "Timer1.OnTimer: no event handler named Timer2Timer"},
  };
  for (const auto& fault : faults)
    EXPECT_EQ(ErrorOf(Describe(fault.form, fault.timer)), "Error reading " + fault.message);
}

TEST_F(DescriptionTest, FaultsOfTheDescriptionItselfAreNamed) {
  const std::string form = R"("object": "fTest", "class": "TfTest")";
  const struct {
    std::string text, message;
  } faults[] = {
      {R"({"object": "fTest", "class": "TfOther"})", "fTest: the description is of class TfOther, not TfTest"},
      {R"({"class": "TfTest"})", "TFTEST: \"object\" is missing"},
      {"[]", "TFTEST: expected an object, found a list"},
      {"{" + form + R"(, "Properties": {}})", "TFTEST: unknown key \"Properties\""},
      {"{" + form + R"(, "properties": []})", "fTest: \"properties\" must be an object, found a list"},
      {"{" + form + R"(, "components": {}})", "fTest: \"components\" must be a list, found an object"},
      {"{" + form + R"(, "components": ["Timer1"]})", "fTest.components: expected an object, found a string"},
      {"{" + form + R"(, "components": [{"object": "Button1", "class": "TButton"}]})",
       "fTest.components: unknown component class TButton"},
      {Describe(R"("BorderIcons": [1])"), "fTest.BorderIcons: expected a string, found an integer"},
  };
  for (const auto& fault : faults) EXPECT_EQ(ErrorOf(fault.text), "Error reading " + fault.message) << fault.text;
  const std::string broken = ErrorOf(R"({"object": "fTest", "class": "TfTest",)");
  EXPECT_TRUE(broken.starts_with("Error reading TFTEST: ")) << broken;
  EXPECT_NE(broken.find("parse error"), std::string::npos) << broken;
}

TEST_F(DescriptionTest, MissingDescriptionsAndComponentsAreNamed) {
  EXPECT_EQ(support::MessageOf([&] { DescribedForm form(&calls_, "TfNowhere", HInstance); }),
            "Resource TfNowhere not found");
  auto form = Read(Describe(""));
  EXPECT_EQ(form->Component<TTimer>("timer1"), form->Component<TTimer>("Timer1"));
  EXPECT_EQ(support::MessageOf([&] { form->Component<TTimer>("Timer2"); }), "Component Timer2 not found in fTest");
}

}  // namespace
