#include "sim/ViroziSimulator.h"

#include <array>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <limits>
#include <map>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>
#include <utility>
#include <variant>
#include <vector>

#include "core/Errors.h"
#include "sim/SimSteering.h"

namespace {

constexpr std::string_view kMethods[] = {
    "Pagamento",     "PagamentoADV",          "PaymentCeliachia",      "PaymentBPE",
    "RiallineamentoDBP", "OpenTicketBC",      "DematerializzazioneBP", "CommitTransactionDBP",
    "ReverseTransactionDBP", "CloseTicketBC", "Chiusura",              "GetTotaliHost",
    "ChiusuraBPE",   "TotaliBPE"};

constexpr char kCrLf[] = "\r\n";

// ---------------------------------------------------------------------------------------
// Texts

std::optional<int64_t> ParseInt(std::string_view aText) {
  int64_t value = 0;
  auto [end, ec] = std::from_chars(aText.data(), aText.data() + aText.size(), value);
  if (aText.empty() || ec != std::errc() || end != aText.data() + aText.size()) return std::nullopt;
  return value;
}

std::string Padded(int64_t aValue, size_t aWidth) {
  std::string digits = std::to_string(aValue);
  if (digits.size() < aWidth) digits.insert(0, aWidth - digits.size(), '0');
  return digits;
}

// Receipts show money the Italian way: 1234 cents is "12,34".
std::string Euro(int64_t aCents) {
  const bool negative = aCents < 0;
  const uint64_t cents = negative ? 0 - static_cast<uint64_t>(aCents) : static_cast<uint64_t>(aCents);
  std::string text = std::to_string(cents / 100) + "," + Padded(static_cast<int64_t>(cents % 100), 2);
  return negative ? "-" + text : text;
}

std::string Join(std::initializer_list<std::string_view> aParts, std::string_view aSeparator) {
  std::string out;
  bool first = true;
  for (std::string_view part : aParts) {
    if (!first) out += aSeparator;
    out += part;
    first = false;
  }
  return out;
}

std::string Join(const std::vector<std::string>& aParts, std::string_view aSeparator) {
  std::string out;
  for (size_t i = 0; i < aParts.size(); ++i) {
    if (i > 0) out += aSeparator;
    out += aParts[i];
  }
  return out;
}

// The request texts of the coupon calls: KEY=value pairs, each followed by '-'. Values go
// in unescaped, so a '-' inside a value shows up as a piece without a key of its own; it
// is glued back to the value before it.
std::map<std::string, std::string, std::less<>> ParsePairs(std::string_view aText) {
  std::map<std::string, std::string, std::less<>> pairs;
  std::string* current = nullptr;
  size_t start = 0;
  while (start <= aText.size()) {
    size_t end = aText.find('-', start);
    const bool last = end == std::string_view::npos;
    std::string_view piece = aText.substr(start, last ? std::string_view::npos : end - start);
    if (last && piece.empty()) break;
    const size_t eq = piece.find('=');
    bool isKey = eq != std::string_view::npos && eq > 0;
    for (size_t i = 0; isKey && i < eq; ++i) {
      const char c = piece[i];
      isKey = (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    }
    if (isKey) {
      auto [it, fresh] = pairs.emplace(std::string(piece.substr(0, eq)), std::string(piece.substr(eq + 1)));
      current = fresh ? &it->second : nullptr;  // a repeated key does not overwrite the first
    } else if (current) {
      *current += '-';
      *current += piece;
    }
    if (last) break;
    start = end + 1;
  }
  return pairs;
}

std::optional<std::string_view> Pair(const std::map<std::string, std::string, std::less<>>& aPairs,
                                     std::string_view aKey) {
  auto it = aPairs.find(aKey);
  if (it == aPairs.end()) return std::nullopt;
  return std::string_view(it->second);
}

// ---------------------------------------------------------------------------------------
// Script

struct ScriptLine {
  bool fHresult = false;
  // DELAY: the built-in terminal answers after fWait; HANG: no answer within fWait.
  bool fDelay = false;
  bool fHang = false;
  std::chrono::milliseconds fWait{0};
  int32_t fCallResult = 0;
  std::string fReply;
};

// A wait as written: milliseconds for DELAY, seconds (with decimals) for HANG; nothing
// negative, nothing above a day.
std::optional<std::chrono::milliseconds> WaitOf(std::string_view aText, bool aSeconds) {
  double value = 0;
  const char* end = aText.data() + aText.size();
  auto [last, error] = std::from_chars(aText.data(), end, value);
  if (aText.empty() || error != std::errc() || last != end || !(value >= 0)) return std::nullopt;
  const double ms = aSeconds ? value * 1000 : value;
  if (ms > 86400000.0) return std::nullopt;
  // Rounded: 0.03 s is 29.999... ms in 32-bit floating point.
  return std::chrono::milliseconds(std::llround(ms));
}

std::string NoAnswer(std::chrono::milliseconds aWait) {
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%g", static_cast<double>(aWait.count()) / 1000);
  return std::string("No answer from the terminal within ") + seconds + " seconds";
}

// "Method=value,Method=value" (or "*=value" for every method) from the variable aVariable:
// the value for aMethod, if any. A malformed entry raises, naming the variable.
std::optional<std::chrono::milliseconds> WaitFromEnvironment(const char* aVariable, std::string_view aMethod,
                                                             bool aSeconds) {
  const char* text = std::getenv(aVariable);
  if (text == nullptr || *text == '\0') return std::nullopt;
  std::optional<std::chrono::milliseconds> found;
  std::string_view rest = text;
  while (!rest.empty()) {
    const size_t comma = rest.find(',');
    const std::string_view entry = rest.substr(0, comma);
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    const size_t equals = entry.find('=');
    const std::string_view name = entry.substr(0, equals);
    const std::optional<std::chrono::milliseconds> wait =
        equals == std::string_view::npos ? std::nullopt : WaitOf(entry.substr(equals + 1), aSeconds);
    bool known = name == "*";
    for (std::string_view m : kMethods) known = known || m == name;
    if (!wait || !known) {
      throw EMxError(std::string(aVariable) + ": '" + std::string(entry) + "' is not Method=" +
                     (aSeconds ? "seconds" : "milliseconds"));
    }
    if (name == aMethod || (name == "*" && !found)) found = wait;
  }
  return found;
}

std::optional<int32_t> CallResultOf(std::string_view aText) {
  auto value = ParseInt(aText);
  if (!value || *value < std::numeric_limits<int32_t>::min() || *value > std::numeric_limits<int32_t>::max())
    return std::nullopt;
  return static_cast<int32_t>(*value);
}

std::string CheckLine(std::string_view aMethod, const std::vector<std::string>& aFields) {
  bool known = false;
  for (std::string_view m : kMethods) known = known || m == aMethod;
  if (!known) return "unknown method '" + std::string(aMethod) + "'";
  if (aFields[0] == "DELAY" || aFields[0] == "HANG") {
    if (aFields.size() != 2 || !WaitOf(aFields[1], aFields[0] == "HANG"))
      return aFields[0] + (aFields[0] == "HANG" ? " needs seconds" : " needs milliseconds") + " after a TAB";
    return {};
  }
  if (aFields[0] != "HRESULT" && !CallResultOf(aFields[0]))
    return "call result '" + aFields[0] + "' is neither an integer nor HRESULT, DELAY or HANG";
  return {};
}

// The script's lines of a method, its reply being everything after the call result.
class Script {
 public:
  std::optional<ScriptLine> Take(std::string_view aMethod) {
    std::optional<std::vector<std::string>> fields = fScript.Take(aMethod);
    if (!fields) return std::nullopt;
    ScriptLine line;
    line.fHresult = (*fields)[0] == "HRESULT";
    line.fDelay = (*fields)[0] == "DELAY";
    line.fHang = (*fields)[0] == "HANG";
    if (line.fDelay || line.fHang) {
      line.fWait = *WaitOf((*fields)[1], line.fHang);
      return line;
    }
    if (!line.fHresult) line.fCallResult = *CallResultOf((*fields)[0]);
    for (size_t k = 1; k < fields->size(); ++k) {
      if (k > 1) line.fReply += '\t';
      line.fReply += (*fields)[k];
    }
    return line;
  }
  void Reset() { fScript.Reset(); }

 private:
  sim::tSimScript fScript{"VIROZI_SIM_SCRIPT", &CheckLine};
};

void WriteJournal(std::string_view aMethod, std::initializer_list<std::string_view> aArguments) {
  constexpr char kJournal[] = "VIROZI_SIM_JOURNAL";
  // Nearly always without one: the arguments are copied only for a journal.
  if (!sim::JournalKept(kJournal)) return;
  sim::AppendJournal(kJournal, aMethod, std::vector<std::string>(aArguments.begin(), aArguments.end()));
}

// ---------------------------------------------------------------------------------------
// The terminal

struct Total {
  int64_t fCount = 0;
  int64_t fCents = 0;
};

// Kinds of card-circuit payment, in the order of the day-close records.
enum CardKind { ck_Bancomat, ck_Credit, ck_Wallet, ck_Health, ck_Count };
constexpr std::string_view kCardKindNames[ck_Count] = {"PAGOBANCOMAT", "CARTE DI CREDITO", "WALLET",
                                                        "CELIACHIA SSN"};

struct Coupon {
  std::string fCode;
  std::string fTransactionId;
  std::string fIssuer;
  int64_t fFaceCents = 0;
  bool fRequireCommit = false;
  bool fCommitted = false;
  bool fReversed = false;
  bool fCounted = false;  // in the meal-voucher day totals
  int32_t fBatch = 0;     // the meal-voucher day it was accepted in
};

struct State {
  std::array<Total, ck_Count> fCard;
  int32_t fCardBatch = 1;
  Total fVoucher;
  int32_t fVoucherBatch = 1;
  int32_t fProgressive = 0;
  int64_t fOperation = 0;    // last trace number given
  int64_t fTransaction = 0;  // last coupon transaction number given
  std::vector<Coupon> fCoupons;
};

struct TerminalState {
  std::mutex fLock;
  Script fScript;
  State fState;
};

TerminalState& Terminal() {
  static TerminalState terminal;
  return terminal;
}

// Journal, then a scripted answer if one is left, else the built-in terminal; one call at
// a time for the whole process.
template <class TBuiltIn>
int32_t Serve(std::string_view aMethod, std::initializer_list<std::string_view> aArguments, std::string& aReply,
              TBuiltIn&& aBuiltIn) {
  TerminalState& terminal = Terminal();
  std::lock_guard lock(terminal.fLock);
  WriteJournal(aMethod, aArguments);
  // The terminal is busy while it takes its time: other callers wait too.
  if (const auto hang = WaitFromEnvironment("VIROZI_SIM_HANG", aMethod, true)) {
    std::this_thread::sleep_for(*hang);
    throw EMxError(NoAnswer(*hang));
  }
  if (const auto delay = WaitFromEnvironment("VIROZI_SIM_DELAY", aMethod, false)) std::this_thread::sleep_for(*delay);
  std::optional<ScriptLine> line = terminal.fScript.Take(aMethod);
  if (line && (line->fDelay || line->fHang)) {
    std::this_thread::sleep_for(line->fWait);
    if (line->fHang) throw EMxError(NoAnswer(line->fWait));
    line.reset();
  }
  if (line) {
    if (line->fHresult) throw EMxError(line->fReply);
    aReply = std::move(line->fReply);
    return line->fCallResult;
  }
  std::string reply = aBuiltIn(terminal.fState);
  aReply = std::move(reply);  // last, in case a spare text is the reply variable itself
  return 1;
}

std::string Receipt(std::initializer_list<std::string_view> aLines) { return Join(aLines, kCrLf); }

std::string TerminalLine(int64_t aOperation) {
  return std::string("TERMINALE ") + tViroziSimulator::kTerminalId + " OPER. " + Padded(aOperation, 6);
}

// Why the terminal refuses a payment of aCents, if it does.
std::optional<std::string> Refusal(int64_t aCents) {
  if (aCents <= 0) return "IMPORTO NON VALIDO";
  if (aCents % 100 == 13) return "TRANSAZIONE NEGATA";
  return std::nullopt;
}

constexpr std::string_view kOutcomeOk = "TRANSAZIONE ESEGUITA";

struct Issuer {
  std::string_view fCode;
  std::string_view fName;
};
constexpr Issuer kIssuers[] = {
    {"101", "QUI TICKET"}, {"102", "CIR"},        {"103", "SODEXO"},      {"104", "PELLEGRINI"},
    {"105", "DAY"},        {"106", "EP"},         {"107", "EDENRED"},     {"108", "REPAS"},
    {"109", "GEMEAZ"},     {"201", "BLUTICKET"},  {"202", "DAY"},         {"203", "EDENRED"},
    {"204", "PELLEGRINI"}, {"205", "QUI TICKET"}, {"206", "REPAS"},       {"207", "RISTOMAT"},
    {"208", "SODEXO"},     {"209", "AGAPE"},      {"210", "LUNCH TIME"},  {"211", "QUI WELFARE"},
    {"212", "EP"},         {"213", "GEMEAZ"}};

const Issuer* FindIssuer(std::string_view aCode) {
  for (const Issuer& issuer : kIssuers)
    if (issuer.fCode == aCode) return &issuer;
  return nullptr;
}

constexpr std::string_view kPaymentIssuer = "107";  // the voucher issuer of PaymentBPE

bool IsCouponCode(std::string_view aCode) {
  if (aCode.empty()) return false;
  for (char c : aCode)
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return false;
  return true;
}

// A '-' inside the message would split it into more fields; values quoted from the
// request show '_' there instead.
std::string CouponKo(std::string_view aCode, std::string aMessage) {
  for (char& c : aMessage)
    if (c == '-') c = '_';
  return Join({"KO", aCode, aMessage}, "-");
}

// Checks the progressive number a coupon call sent; the KO reply when it is wrong.
std::optional<std::string> ProgressiveRefusal(const State& aState, std::optional<int64_t> aSent) {
  if (!aSent) return CouponKo("12", "Malformed request: PROG missing or not a number");
  if (*aSent < 0) return CouponKo("05", "Negative progressive number, expected " + std::to_string(aState.fProgressive));
  if (*aSent != aState.fProgressive)
    return CouponKo("05", "Wrong progressive number " + std::to_string(*aSent) + ", expected " +
                              std::to_string(aState.fProgressive));
  return std::nullopt;
}

std::optional<int64_t> SentProgressive(const std::map<std::string, std::string, std::less<>>& aPairs) {
  auto text = Pair(aPairs, "PROG");
  return text ? ParseInt(*text) : std::nullopt;
}

// The accepted coupon that a commit or reversal names, or the KO reply.
std::variant<Coupon*, std::string> FindTransaction(State& aState,
                                                    const std::map<std::string, std::string, std::less<>>& aPairs) {
  const std::string transaction(Pair(aPairs, "TRAN_ID").value_or(""));
  const std::string code(Pair(aPairs, "COUP_CODE").value_or(""));
  for (Coupon& coupon : aState.fCoupons) {
    if (coupon.fTransactionId != transaction) continue;
    if (coupon.fCode != code)
      return CouponKo("25", "Coupon " + code + " does not belong to transaction " + transaction);
    if (coupon.fReversed) return CouponKo("26", "Transaction " + transaction + " was reversed");
    if (coupon.fBatch != aState.fVoucherBatch)
      return CouponKo("27", "Transaction " + transaction + " belongs to a closed day");
    return &coupon;
  }
  return CouponKo("25", "Unknown transaction " + transaction);
}

void Count(Total& aTotal, int64_t aCount, int64_t aCents) {
  aTotal.fCount += aCount;
  aTotal.fCents += aCents;
}

std::string CardTotalsReply(State& aState, std::string_view aHeading) {
  std::vector<std::string> fields;
  const std::string batch = Padded(aState.fCardBatch, 4);
  auto record = [&](std::string_view aKind, const Total& aTotal, std::string_view aDetail) {
    fields.emplace_back(tViroziSimulator::kTerminalId);
    fields.push_back(std::to_string(aTotal.fCount));
    fields.push_back(std::to_string(aTotal.fCents));
    fields.push_back(batch);
    fields.emplace_back(aKind);
    fields.push_back(Receipt({aHeading, std::string("TERMINALE ") + tViroziSimulator::kTerminalId + " LOTTO " + batch,
                              aKind, aDetail, "TOTALE EUR " + Euro(aTotal.fCents)}));
  };
  int records = 0;
  for (int kind = 0; kind < ck_Count; ++kind) {
    const Total& total = aState.fCard[kind];
    if (total.fCount == 0) continue;
    record(kCardKindNames[kind], total, "OPERAZIONI " + std::to_string(total.fCount));
    ++records;
  }
  if (records == 0) {
    record("TOTALE", Total{}, "NESSUNA OPERAZIONE");
    records = 1;
  }
  return std::to_string(records) + ";" + Join(fields, ";");
}

std::string VoucherTotalsReply(const State& aState, std::string_view aHeading) {
  const std::string batch = Padded(aState.fVoucherBatch, 4);
  const Total& total = aState.fVoucher;
  return Join({"OK", std::to_string(total.fCount), std::to_string(total.fCents),
               Receipt({aHeading, std::string("TERMINALE ") + tViroziSimulator::kTerminalId + " LOTTO " + batch,
                        "BUONI " + std::to_string(total.fCount), "TOTALE EUR " + Euro(total.fCents)})},
              ";");
}

}  // namespace

void tViroziSimulator::Reset() {
  TerminalState& terminal = Terminal();
  std::lock_guard lock(terminal.fLock);
  terminal.fState = State{};
  terminal.fScript.Reset();
}

int32_t tViroziSimulator::Pagamento(int32_t aFlag1, int32_t aAmount, int32_t aFlag2, std::string& aReply) {
  return Serve("Pagamento", {std::to_string(aFlag1), std::to_string(aAmount), std::to_string(aFlag2), aReply}, aReply,
               [&](State& s) {
                 struct tCard {
                   std::string_view fCode, fName;
                   CardKind fKind;
                 };
                 static constexpr tCard kCards[] = {{"2", "VISA", ck_Credit},
                                                    {"3", "MASTERCARD", ck_Credit},
                                                    {"4", "MAESTRO", ck_Credit},
                                                    {"6", "AMERICAN EXPRESS", ck_Credit},
                                                    {"1", "PAGOBANCOMAT", ck_Bancomat}};
                 const tCard& card = kCards[aAmount > 0 ? (aAmount / 100) % 5 : 0];
                 const bool signature = card.fCode == "6";
                 const int64_t operation = ++s.fOperation;
                 const std::optional<std::string> refusal = Refusal(aAmount);
                 if (!refusal) Count(s.fCard[card.fKind], 1, aAmount);
                 return Join({kTerminalId, std::to_string(aAmount), refusal ? "KO" : "OK", refusal.value_or(""),
                              card.fCode,
                              Receipt({"VIROZI PAY", TerminalLine(operation), std::string("ACQUISTO ") += card.fName,
                                       "IMPORTO EUR " + Euro(aAmount), refusal.value_or(std::string(kOutcomeOk)),
                                       signature ? "FIRMA DEL TITOLARE" : "PIN VERIFICATO"}),
                              signature ? "3" : "1"},
                             ";");
               });
}

int32_t tViroziSimulator::PagamentoADV(int32_t aWalletType, int32_t aAmount, std::string& aText1,
                                       std::string& aText2, std::string& aText3, std::string& aReply) {
  return Serve("PagamentoADV",
               {std::to_string(aWalletType), std::to_string(aAmount), aText1, aText2, aText3, aReply}, aReply,
               [&](State& s) {
                 static constexpr std::string_view kWallets[] = {"JIFFY",    "SATISPAY",          "BITCOIN",
                                                                 "SATISPAY QR CODE", "CONAD MOBILE WALLET",
                                                                 "TINABA"};
                 const bool knownWallet = aWalletType >= 1 && aWalletType <= 6;
                 const std::string_view wallet = knownWallet ? kWallets[aWalletType - 1] : "WALLET";
                 const int64_t operation = ++s.fOperation;
                 std::optional<std::string> refusal = Refusal(aAmount);
                 if (!knownWallet) refusal = "TIPO WALLET NON VALIDO";
                 if (!refusal) Count(s.fCard[ck_Wallet], 1, aAmount);
                 const std::string number = "P" + Padded(operation, 6);
                 const int64_t shown = aAmount > 0 ? aAmount : 0;  // a minus sign would split the reply
                 // The texts may all be one variable: write them, never read them back.
                 aText1 = number;
                 aText2 = wallet;
                 aText3 = "W" + std::to_string(aWalletType) + Padded(operation, 6);
                 return Join({refusal ? "KO" : "OK", refusal.value_or(""), number, std::to_string(shown),
                              Receipt({"VIROZI PAY", TerminalLine(operation), std::string("PAGAMENTO ") += wallet,
                                       "IMPORTO EUR " + Euro(shown), refusal.value_or(std::string(kOutcomeOk))}),
                              wallet},
                             "-");
               });
}

int32_t tViroziSimulator::PaymentCeliachia(int32_t aAmount, std::string& aText1, std::string& aText2,
                                           std::string& aText3, std::string& aText4, std::string& aReply) {
  return Serve("PaymentCeliachia", {std::to_string(aAmount), aText1, aText2, aText3, aText4, aReply}, aReply,
               [&](State& s) {
                 constexpr int64_t kAllowance = 14000;
                 constexpr std::string_view kCardSerial = "80380000001234567890";
                 const int64_t operation = ++s.fOperation;
                 std::optional<std::string> refusal = Refusal(aAmount);
                 std::string detail = "00";
                 if (refusal) {
                   detail = aAmount <= 0 ? "13" : "05";
                 } else if (aAmount > kAllowance) {
                   refusal = "PLAFOND INSUFFICIENTE";
                   detail = "51";
                 }
                 const int64_t balance = refusal ? kAllowance : kAllowance - aAmount;
                 const std::string trace = Padded(operation, 6);
                 const std::string auth = refusal ? "" : Padded(operation * 7919 % 1000000, 6);
                 const std::string number = "P" + Padded(operation, 6);
                 if (!refusal) Count(s.fCard[ck_Health], 1, aAmount);
                 aText1 = kCardSerial;
                 aText2 = trace;
                 aText3 = auth;
                 aText4 = number;
                 const std::string message = refusal.value_or(std::string(kOutcomeOk));
                 return Join({refusal ? "KO" : "OK", detail, message, std::to_string(balance), kCardSerial, trace,
                              auth, number,
                              Receipt({"VIROZI PAY", TerminalLine(operation), "CELIACHIA SSN",
                                       "IMPORTO EUR " + Euro(aAmount), "RESIDUO EUR " + Euro(balance), message})},
                             ";");
               });
}

int32_t tViroziSimulator::PaymentBPE(int32_t aAmount, std::string& aText, std::string& aReply) {
  return Serve("PaymentBPE", {std::to_string(aAmount), aText, aReply}, aReply, [&](State& s) {
    constexpr int64_t kFaceValues[] = {800, 700, 529};
    const int64_t operation = ++s.fOperation;
    std::optional<std::string> refusal = Refusal(aAmount);
    if (!refusal && aAmount < 529) refusal = "IMPORTO INFERIORE AL BUONO";

    std::vector<std::pair<int64_t, int64_t>> vouchers;  // count, face value
    if (!refusal) {
      for (int64_t face : kFaceValues) {
        if (aAmount % face == 0) {
          vouchers.emplace_back(aAmount / face, face);
          break;
        }
      }
      if (vouchers.empty()) {
        const int64_t large = aAmount / 800;
        const int64_t small = (aAmount - large * 800) / 529;
        if (large > 0) vouchers.emplace_back(large, 800);
        if (small > 0) vouchers.emplace_back(small, 529);
      }
    }
    std::vector<std::string> list{std::to_string(vouchers.size())};
    std::vector<std::string> lines{"VIROZI PAY", TerminalLine(operation),
                                   std::string("BUONI PASTO ") += FindIssuer(kPaymentIssuer)->fName};
    int64_t count = 0;
    int64_t total = 0;
    for (auto [number, face] : vouchers) {
      list.push_back(std::to_string(number));
      list.push_back(std::to_string(face));
      lines.push_back(std::to_string(number) + " X EUR " + Euro(face));
      count += number;
      total += number * face;
    }
    lines.push_back("TOTALE EUR " + Euro(total));
    lines.push_back(refusal.value_or(std::string(kOutcomeOk)));
    if (!refusal) Count(s.fVoucher, count, total);
    aText = Join(list, "|");
    return Join({refusal ? "KO" : "OK", refusal.value_or(""), aText, kPaymentIssuer, std::to_string(count),
                 Join(lines, kCrLf)},
                ";");
  });
}

int32_t tViroziSimulator::RiallineamentoDBP(std::string& aReply) {
  return Serve("RiallineamentoDBP", {aReply}, aReply, [&](State& s) {
    s.fProgressive = 1;
    return std::string("OK-00-RIALLINEAMENTO ESEGUITO");
  });
}

int32_t tViroziSimulator::OpenTicketBC(int32_t aProgressive, std::string& aReceiptReference,
                                       std::string& aDeviceCode, std::string& aReply) {
  return Serve("OpenTicketBC", {std::to_string(aProgressive), aReceiptReference, aDeviceCode, aReply}, aReply,
               [&](State& s) {
                 if (auto refusal = ProgressiveRefusal(s, aProgressive)) return *refusal;
                 s.fProgressive += 1;
                 // The till shows this message whatever the status: an accepted call says nothing.
                 return std::string("OK-00-");
               });
}

int32_t tViroziSimulator::DematerializzazioneBP(std::string& aRequest, std::string& aReply) {
  return Serve("DematerializzazioneBP", {aRequest, aReply}, aReply, [&](State& s) {
    const auto pairs = ParsePairs(aRequest);
    if (auto refusal = ProgressiveRefusal(s, SentProgressive(pairs))) return *refusal;
    const std::string code(Pair(pairs, "COUP_CODE").value_or(""));
    if (!IsCouponCode(code)) return CouponKo("14", "Invalid coupon code " + code);

    Coupon coupon;
    coupon.fCode = code;
    coupon.fTransactionId = "TX" + Padded(++s.fTransaction, 6);
    const Issuer* issuer = code.size() >= 3 ? FindIssuer(std::string_view(code).substr(0, 3)) : nullptr;
    if (issuer == nullptr) issuer = FindIssuer("101");
    coupon.fIssuer = issuer->fCode;
    const std::optional<int64_t> face = code.size() >= 7 ? ParseInt(std::string_view(code).substr(3, 4)) : std::nullopt;
    coupon.fFaceCents = face && *face > 0 ? *face : 529;
    const char lastChar = code.back();
    coupon.fRequireCommit = lastChar >= '0' && lastChar <= '9' && (lastChar - '0') % 2 == 1;
    coupon.fBatch = s.fVoucherBatch;
    if (!coupon.fRequireCommit) {
      Count(s.fVoucher, 1, coupon.fFaceCents);
      coupon.fCounted = true;
    }
    s.fProgressive += 1;
    s.fCoupons.push_back(coupon);
    return Join({"OK", "00", "", coupon.fCode, std::to_string(coupon.fFaceCents), issuer->fName,
                 coupon.fTransactionId, coupon.fRequireCommit ? "1" : "0", coupon.fIssuer},
                "-");
  });
}

int32_t tViroziSimulator::CommitTransactionDBP(std::string& aRequest, std::string& aReply) {
  return Serve("CommitTransactionDBP", {aRequest, aReply}, aReply, [&](State& s) {
    const auto pairs = ParsePairs(aRequest);
    if (auto refusal = ProgressiveRefusal(s, SentProgressive(pairs))) return *refusal;
    auto found = FindTransaction(s, pairs);
    if (auto* refusal = std::get_if<std::string>(&found)) return *refusal;
    Coupon& coupon = *std::get<Coupon*>(found);
    if (coupon.fCommitted) return CouponKo("26", "Transaction " + coupon.fTransactionId + " already committed");
    coupon.fCommitted = true;
    if (!coupon.fCounted) {
      Count(s.fVoucher, 1, coupon.fFaceCents);
      coupon.fCounted = true;
    }
    s.fProgressive += 1;
    return std::string("OK-00-");
  });
}

int32_t tViroziSimulator::ReverseTransactionDBP(std::string& aRequest, std::string& aReply) {
  return Serve("ReverseTransactionDBP", {aRequest, aReply}, aReply, [&](State& s) {
    const auto pairs = ParsePairs(aRequest);
    if (auto refusal = ProgressiveRefusal(s, SentProgressive(pairs))) return *refusal;
    auto found = FindTransaction(s, pairs);
    if (auto* refusal = std::get_if<std::string>(&found)) return *refusal;
    Coupon& coupon = *std::get<Coupon*>(found);
    coupon.fReversed = true;
    if (coupon.fCounted) {
      Count(s.fVoucher, -1, -coupon.fFaceCents);
      coupon.fCounted = false;
    }
    s.fProgressive += 1;
    return Join({"OK", "00", "", coupon.fCode, std::to_string(coupon.fFaceCents), coupon.fTransactionId,
                 coupon.fIssuer},
                "-");
  });
}

int32_t tViroziSimulator::CloseTicketBC(int32_t aProgressive, std::string& aReceiptReference,
                                        std::string& aDeviceCode, std::string& aReply) {
  return Serve("CloseTicketBC", {std::to_string(aProgressive), aReceiptReference, aDeviceCode, aReply}, aReply,
               [&](State& s) {
                 if (auto refusal = ProgressiveRefusal(s, aProgressive)) return *refusal;
                 s.fProgressive += 2;
                 return std::string("OK-00-");
               });
}

int32_t tViroziSimulator::Chiusura(int32_t aFlag, std::string& aReply) {
  return Serve("Chiusura", {std::to_string(aFlag), aReply}, aReply, [&](State& s) {
    std::string reply = CardTotalsReply(s, "CHIUSURA CONTABILE");
    s.fCard = {};
    s.fCardBatch += 1;
    return reply;
  });
}

int32_t tViroziSimulator::GetTotaliHost(int32_t aFlag, std::string& aReply) {
  return Serve("GetTotaliHost", {std::to_string(aFlag), aReply}, aReply,
               [&](State& s) { return CardTotalsReply(s, "TOTALI HOST"); });
}

int32_t tViroziSimulator::ChiusuraBPE(std::string& aReply) {
  return Serve("ChiusuraBPE", {aReply}, aReply, [&](State& s) {
    std::string reply = VoucherTotalsReply(s, "CHIUSURA BUONI PASTO");
    s.fVoucher = {};
    s.fVoucherBatch += 1;
    return reply;
  });
}

int32_t tViroziSimulator::TotaliBPE(std::string& aReply) {
  return Serve("TotaliBPE", {aReply}, aReply,
               [&](State& s) { return VoucherTotalsReply(s, "TOTALI BUONI PASTO"); });
}
