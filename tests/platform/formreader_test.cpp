// Window descriptions: every property of the main window's description
// reaches the form in the order written, and every kind of fault is refused
// with a message that names the offender.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "exception.h"
#include "forms.h"
#include "resources.h"
#include "timer.h"

namespace {

// A form over a description held in its own resource table.
class DescribedForm : public TForm {
 public:
  DescribedForm(HINSTANCE instance, std::vector<std::string>* calls)
      : TForm(nullptr, "TfTest",
              {{"FormClick", [calls](TObject*) { calls->push_back("FormClick"); }},
               {"Timer1Timer", [calls](TObject*) { calls->push_back("Timer1Timer"); }}},
              instance) {}
};

class FormReaderTest : public ::testing::Test {
 protected:
  // The form's and the timer's properties, as JSON members.
  std::unique_ptr<DescribedForm> Read(const std::string& formProperties,
                                      const std::string& timerProperties = R"("Interval": 1)") {
    text_ = R"({"object": "fTest", "class": "TfTest", "properties": {)" + formProperties +
            R"(}, "components": [{"object": "Timer1", "class": "TTimer", "properties": {)" +
            timerProperties + "}}]}";
    return ReadText(text_);
  }

  std::unique_ptr<DescribedForm> ReadText(const std::string& text) {
    text_ = text;
    const ResourceEntry entry{ResourceType::RCData, "TFTEST",
                              reinterpret_cast<const unsigned char*>(text_.data()), text_.size()};
    table_ = ResourceTable();
    table_.Add({&entry, 1});
    return std::make_unique<DescribedForm>(&table_, &calls_);
  }

  std::string ErrorOf(const std::string& formProperties,
                      const std::string& timerProperties = R"("Interval": 1)") {
    try {
      Read(formProperties, timerProperties);
    } catch (const Exception& e) {
      return e.Message();
    }
    return "(accepted)";
  }

  std::string text_;
  ResourceTable table_;
  std::vector<std::string> calls_;
};

TEST_F(FormReaderTest, MainWindowDescriptionIsAppliedInFull) {
  // The program's own description, found by class name ignoring case.
  std::vector<std::string> calls;
  struct MainForm : TForm {
    explicit MainForm(std::vector<std::string>* calls)
        : TForm(nullptr, "TfMain",
                {{"FormClick", [calls](TObject*) { calls->push_back("FormClick"); }},
                 {"Timer1Timer", [calls](TObject*) { calls->push_back("Timer1Timer"); }}}) {}
  } form(&calls);

  EXPECT_EQ(form.Name, "fMain");
  EXPECT_EQ(form.Left, 250);
  EXPECT_EQ(form.Top, 220);
  EXPECT_EQ(form.BorderIcons, (std::set<TBorderIcon>{biSystemMenu, biMinimize}));
  EXPECT_EQ(form.BorderStyle, bsSingle);
  EXPECT_EQ(form.Caption, "Rain");
  EXPECT_EQ(form.ClientHeight, 495);
  EXPECT_EQ(form.ClientWidth, 784);
  EXPECT_EQ(form.Color, clBlack);
  // Stored only: nothing draws text, but the values are kept.
  EXPECT_EQ(form.Font->Charset, DEFAULT_CHARSET);
  EXPECT_EQ(form.Font->Color, clWindowText);
  EXPECT_EQ(form.Font->Height, -11);
  EXPECT_EQ(form.Font->Name, "MS Sans Serif");
  EXPECT_TRUE(form.Font->Style.empty());
  EXPECT_FALSE(form.OldCreateOrder);
  EXPECT_EQ(form.PixelsPerInch, 96);
  EXPECT_EQ(form.TextHeight, 13);

  TTimer* timer = form.Component<TTimer>("Timer1");
  EXPECT_EQ(timer->Interval(), 1u);
  EXPECT_TRUE(timer->Enabled());
  EXPECT_EQ(timer->DesignLeft, 168);
  EXPECT_EQ(timer->DesignTop, 96);

  // Each event property is bound to the handler it names.
  form.OnClick(&form);
  timer->OnTimer()(timer);
  EXPECT_EQ(calls, (std::vector<std::string>{"FormClick", "Timer1Timer"}));
}

TEST_F(FormReaderTest, ValuesOfEveryKindAreRead) {
  auto form = Read(R"("BorderIcons": [], "BorderStyle": "bsSizeable", "Color": 1193046,
                      "Font.Style": ["fsBold", "fsItalic"], "Font.Color": "clRed",
                      "OldCreateOrder": true, "Caption": "")",
                   R"("Interval": 250, "Enabled": false)");
  EXPECT_TRUE(form->BorderIcons.empty());
  EXPECT_EQ(form->BorderStyle, bsSizeable);
  EXPECT_EQ(form->Color, 0x123456u);
  EXPECT_EQ(form->Font->Style, (std::set<TFontStyle>{fsBold, fsItalic}));
  EXPECT_EQ(form->Font->Color, 0x0000FFu);
  EXPECT_TRUE(form->OldCreateOrder);
  EXPECT_EQ(form->Caption, "");
  TTimer* timer = form->Component<TTimer>("Timer1");
  EXPECT_EQ(timer->Interval(), 250u);
  EXPECT_FALSE(timer->Enabled());
}

TEST_F(FormReaderTest, PropertiesAreAppliedInTheOrderWritten) {
  // The first fault in writing order is the one reported, whatever the
  // alphabet says; a reader that sorted keys would report Alpha.
  EXPECT_EQ(ErrorOf(R"("Zulu": 1, "Alpha": 2)"), "Error reading fTest.Zulu: property Zulu does not exist");
  EXPECT_EQ(ErrorOf(R"("Alpha": 1, "Zulu": 2)"), "Error reading fTest.Alpha: property Alpha does not exist");
}

struct Fault {
  const char* name;
  const char* formProperties;
  const char* timerProperties;
  const char* message;
};

void PrintTo(const Fault& fault, std::ostream* os) { *os << fault.name; }

class FormReaderFaultTest : public FormReaderTest, public ::testing::WithParamInterface<Fault> {};

TEST_P(FormReaderFaultTest, IsRefusedNamingTheOffender) {
  EXPECT_EQ(ErrorOf(GetParam().formProperties, GetParam().timerProperties), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Descriptions, FormReaderFaultTest,
    ::testing::Values(
        Fault{"UnknownFormProperty", R"("Left": 1, "Colour": "clBlack")", R"("Interval": 1)",
              "Error reading fTest.Colour: property Colour does not exist"},
        Fault{"UnknownTimerProperty", "", R"("Intervall": 1)",
              "Error reading Timer1.Intervall: property Intervall does not exist"},
        Fault{"StringForInteger", R"("Left": "250")", R"("Interval": 1)",
              "Error reading fTest.Left: expected an integer, found a string"},
        Fault{"FractionForInteger", R"("ClientWidth": 784.5)", R"("Interval": 1)",
              "Error reading fTest.ClientWidth: expected an integer, found a fraction"},
        Fault{"IntegerForBoolean", R"("OldCreateOrder": 0)", R"("Interval": 1)",
              "Error reading fTest.OldCreateOrder: expected a boolean, found an integer"},
        Fault{"StringForList", R"("BorderIcons": "biSystemMenu")", R"("Interval": 1)",
              "Error reading fTest.BorderIcons: expected a list, found a string"},
        Fault{"ListForString", R"("Caption": ["Rain"])", R"("Interval": 1)",
              "Error reading fTest.Caption: expected a string, found a list"},
        Fault{"UnknownIdentifier", R"("BorderStyle": "bsSingel")", R"("Interval": 1)",
              "Error reading fTest.BorderStyle: invalid value bsSingel"},
        Fault{"UnknownSetMember", R"("BorderIcons": ["biSystemMenu", "biMinimise"])", R"("Interval": 1)",
              "Error reading fTest.BorderIcons: invalid value biMinimise"},
        Fault{"UnknownColour", R"("Color": "clBlackish")", R"("Interval": 1)",
              "Error reading fTest.Color: invalid value clBlackish"},
        Fault{"EmptyClientArea", R"("ClientWidth": 0)", R"("Interval": 1)",
              "Error reading fTest.ClientWidth: 0 is out of range 1 ... 16384"},
        Fault{"NegativeInterval", "", R"("Interval": -1)",
              "Error reading Timer1.Interval: -1 is out of range 0 ... 2147483647"},
        Fault{"HugeInteger", R"("Left": 18446744073709551615)", R"("Interval": 1)",
              "Error reading fTest.Left: 18446744073709551615 is out of range -2147483648 ... 2147483647"},
        Fault{"UnknownClickHandler", R"("OnClick": "FormClik")", R"("Interval": 1)",
              "Error reading fTest.OnClick: no event handler named FormClik"},
        Fault{"UnknownTimerHandler", "", R"("OnTimer": "Timer2Timer")",
              "Error reading Timer1.OnTimer: no event handler named Timer2Timer"},
        Fault{"HandlerNameOfWrongType", R"("OnClick": 1)", R"("Interval": 1)",
              "Error reading fTest.OnClick: expected a string, found an integer"}));

TEST_F(FormReaderTest, FaultsOfTheDescriptionItselfAreNamed) {
  auto errorOf = [this](const std::string& text) {
    try {
      ReadText(text);
    } catch (const Exception& e) {
      return e.Message();
    }
    return std::string("(accepted)");
  };
  EXPECT_EQ(errorOf(R"({"object": "fTest", "class": "TfOther"})"),
            "Error reading fTest: the description is of class TfOther, not TfTest");
  EXPECT_EQ(errorOf(R"({"class": "TfTest"})"), "Error reading TFTEST: \"object\" is missing");
  EXPECT_EQ(errorOf(R"({"object": "fTest", "class": "TfTest", "extra": 1})"),
            "Error reading TFTEST: unknown key \"extra\"");
  EXPECT_EQ(errorOf(R"({"object": "fTest", "class": "TfTest",
                        "components": [{"object": "Button1", "class": "TButton"}]})"),
            "Error reading fTest.components: unknown component class TButton");
  EXPECT_EQ(errorOf(R"({"object": "fTest", "class": "TfTest", "properties": []})"),
            "Error reading fTest: \"properties\" must be an object, found a list");
  const std::string broken = errorOf(R"({"object": "fTest", "class": "TfTest",)");
  EXPECT_EQ(broken.rfind("Error reading TFTEST: ", 0), 0u) << broken;
  EXPECT_NE(broken.find("parse error"), std::string::npos) << broken;
}

TEST_F(FormReaderTest, FormWithoutADescriptionNamesTheResource) {
  struct Undescribed : TForm {
    Undescribed() : TForm(nullptr, "TfNowhere", {}) {}
  };
  try {
    Undescribed form;
    FAIL() << "a form without a description was created";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Resource TfNowhere not found");
  }
}

TEST_F(FormReaderTest, ComponentLookupNamesWhatIsMissing) {
  auto form = Read("");
  EXPECT_EQ(form->Component<TTimer>("timer1"), form->Component<TTimer>("Timer1"));
  try {
    form->Component<TTimer>("Timer2");
    FAIL() << "found a component that does not exist";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Component Timer2 not found in fTest");
  }
}

}  // namespace
