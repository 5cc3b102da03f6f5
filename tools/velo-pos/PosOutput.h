#pragma once
// How velo-pos shows what the library answered: readable steps for people, the exact
// answer for raw requests.
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "hostlib/ProductLibrary.h"

// One element of a response fragment, its text unescaped.
struct tkFragmentField {
  std::string Name;
  std::string Value;
};

// The elements of a response fragment in order. False when the text is not a sequence of
// simple elements (the fields read so far are kept).
bool ParseFragment(std::string_view aFragment, std::vector<tkFragmentField>& aFields);

// The five predefined entities and character references replaced by their characters;
// anything else stays as written.
std::string UnescapeXml(std::string_view aText);

// A raw answer exactly as the library gave it: "result: " + code, the fragment, and
// "error: " + the error text, each followed by a line feed.
std::string FormatRawAnswer(const tkAnswer& aAnswer);

// Whether an answer counts as a success: result 0, and for VERSION a version text (an
// unknown driver key leaves it empty although the result is 0).
bool AnswerSucceeded(std::string_view aExport, const tkAnswer& aAnswer);

// The elapsed time of a call as shown: "0.02 s".
std::string FormatSeconds(double aSeconds);

// For a refused value whose error text does not list the valid ones: a line that does
// ("wallets: jiffy, satispay, ..."); empty otherwise. The error text itself is shown as
// the library gave it.
std::string RefusalHint(std::string_view aExport, const tkAnswer& aAnswer);

// aText as a JSON string, quotes included; bytes that are not UTF-8 become U+FFFD.
std::string JsonString(std::string_view aText);

// Everything a readable step shows.
struct tkStepView {
  int Number = 0;
  std::string Title;
  std::string Command;  // the command line of a demo step; empty otherwise
  std::string Export;
  std::string Request;
  tkAnswer Answer;
  bool Succeeded = false;
  double Seconds = 0;
  // Demo steps say what they expected; empty otherwise.
  std::string Note;
  bool NoteIsProblem = false;
  std::string Hint;  // RefusalHint of a failed step
};

class tkPosPrinter {
 public:
  // aJson: each step one JSON object on one line, and no lines of velo-pos's own.
  tkPosPrinter(std::ostream& aOut, bool aColours, bool aVerbose, bool aJson = false)
      : fOut(aOut), fColours(aColours && !aJson), fVerbose(aVerbose), fJson(aJson) {}

  // The heading of a step, before its call (so it shows while the call runs).
  void StepHeading(const tkStepView& aStep);
  // The outcome of a step, after its call.
  void StepOutcome(const tkStepView& aStep);
  void Raw(const tkAnswer& aAnswer);
  // The outcome of an `expect` line: aWanted, whether it held, and what was found instead.
  void Expectation(std::string_view aWanted, bool aMet, std::string_view aFound);
  // A line of velo-pos's own.
  void Line(std::string_view aText);
  void Problem(std::string_view aText);
  // Text without a line end, shown at once.
  void Prompt(std::string_view aText);
  void Flush() { fOut.flush(); }

  bool Colours() const { return fColours; }
  bool Verbose() const { return fVerbose; }
  bool Json() const { return fJson; }

 private:
  void JsonStep(const tkStepView& aStep);
  std::string Paint(std::string_view aText, const char* aCode) const;
  void Field(std::string_view aName, std::string_view aValue, const char* aCode);

  std::ostream& fOut;
  bool fColours;
  bool fVerbose;
  bool fJson;
};
