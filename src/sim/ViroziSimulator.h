#pragma once
// A deterministic stand-in for the VIROZI payment terminal and its component, used where
// the real component is not installed (the native build, the tests, the demonstration).
// Plain portable C++: the win32 COM server wraps the same class unchanged.
//
// One terminal per process. Every instance talks to the same terminal state (day totals,
// progressive number, coupons, script position), guarded by one mutex, so any number of
// devices and instances behave like tills sharing one physical terminal.
//
// Steering, through the environment (read at each call):
//
//   VIROZI_SIM_JOURNAL=<file>
//     Every call appends one line "Method<TAB>arg<TAB>arg...": every argument before the
//     call result, in order, as received (integers in decimal, texts as they are, the
//     incoming reply included), written and flushed before the call does anything else.
//     Inside texts a backslash is written "\\", TAB "\t", CR "\r" and LF "\n", so each call
//     stays on one line. Lines end with LF alone. A journal that cannot be written fails
//     the call (EMxError "Cannot write the simulator journal <file>").
//
//   VIROZI_SIM_SCRIPT=<file>
//     One line per scripted call: "Method<TAB>CallResult<TAB>Reply". Each call takes the
//     first line of its method that no earlier call in the process has taken; a method
//     with no line left answers with the built-in behaviour. CallResult is an integer,
//     returned as the call result with Reply as the reply, or the word HRESULT: the call
//     then raises EMxError with Reply as its text, as a failed COM call does. A scripted
//     call leaves the terminal state alone and the other text arguments untouched.
//     Reply uses the journal's escapes ("\r\n" for a line break inside a receipt, "\t",
//     "\\"); a backslash before any other character stands for itself. Lines may end with
//     CR LF; blank lines and lines starting with '#' are skipped. A line with an unknown
//     method or a call result that is neither fails every call while the file holds it
//     (EMxError naming the file and the line).
//     The file is read again at each call. Which lines were taken is kept per method as
//     long as the same path holds the same text or that text with more appended at its
//     end; a different path or any other change of the text starts the new script from its
//     first lines. Rewriting identical text keeps the position: use another file (or
//     Reset) to replay a script.
//
//     Instead of a call result a line may hold a wait: "Method<TAB>DELAY<TAB>ms" makes that
//     call wait ms milliseconds and then answer as the built-in terminal does;
//     "Method<TAB>HANG<TAB>seconds" makes it answer nothing: after the seconds (decimals
//     allowed) it raises EMxError "No answer from the terminal within <seconds> seconds".
//
//   VIROZI_SIM_DELAY=Method=ms[,Method=ms...]    ("*" for every method)
//     Every call of those methods waits that long first, scripted or not.
//   VIROZI_SIM_HANG=Method=seconds[,...]          ("*" for every method)
//     Every call of those methods answers nothing within the seconds, as HANG above.
//     A malformed entry fails the call, naming the variable.
//
//   VIROZI_SIM_CREATE=fail
//     CreateViroziComponent fails as for an unregistered class.
//
// Built-in terminal (replies in the provider's layouts; amounts are whole cents):
//   - Terminal identifier kTerminalId. Receipts are a few lines joined with CR LF.
//   - Declines: any payment whose amount in cents ends in 13 (12.13, 0.13, 100.13...) is
//     refused with status KO and the message "TRANSAZIONE NEGATA"; an amount of 0 or less
//     is refused with "IMPORTO NON VALIDO". Refused payments count in no total.
//   - Pagamento: the card network follows the whole euros of the amount: euros % 5 gives
//     0 "2" Visa, 1 "3" Mastercard, 2 "4" Maestro, 3 "6" Amex, 4 "1" PagoBANCOMAT. Amex
//     asks for the cardholder's signature (flag "3"), the others verify the PIN (flag "1").
//   - PagamentoADV: wallet types 1 to 6; the three spare texts receive the payment
//     number, the wallet name and the wallet's transaction code, in that order, so texts
//     passed as one variable end up holding the transaction code.
//   - PaymentCeliachia: the health-service allowance is 140.00 per payment; a larger amount
//     is refused ("PLAFOND INSUFFICIENTE"), otherwise the reply carries what is left of it.
//     The four spare texts receive the card serial, trace number, authorisation code and
//     payment number.
//   - PaymentBPE: pays with vouchers of 8.00, 7.00 and 5.29 from issuer 107: one
//     denomination when the amount is a whole multiple of one of them (tried in that
//     order), otherwise as many 8.00 as fit and then as many 5.29 as fit in the rest.
//     The vouchers never exceed the amount; less than 5.29 is refused. The spare text
//     receives the voucher list.
//   - Coupons (DematerializzazioneBP): the code must be letters and digits. Its first three
//     characters name the issuer when they are a known issuer code (101-109, 201-213),
//     otherwise the issuer is 101; characters 4 to 7, when they are four digits other than
//     0000, give the face value in cents, otherwise it is 529; a code ending in an odd digit
//     needs a commit. Each acceptance gets a new transaction identifier "TX" + 6 digits.
//   - Progressive number: 0 at start, 1 after RiallineamentoDBP; OpenTicketBC,
//     DematerializzazioneBP, CommitTransactionDBP and ReverseTransactionDBP must send it
//     and advance it by 1, CloseTicketBC by 2 (the till counts a close twice). A wrong one
//     is refused: status KO, "Wrong progressive number <got>, expected <expected>".
//   - Day totals: the card circuit takes Pagamento, PagamentoADV and PaymentCeliachia; the
//     meal-voucher circuit takes PaymentBPE and the coupons (when accepted, or when
//     committed for those that need it; a reversal takes its coupon out again). Chiusura /
//     ChiusuraBPE report and clear their circuit, GetTotaliHost / TotaliBPE only report.
//     A coupon accepted before its circuit's day close can no longer be committed or
//     reversed.
//     A card-circuit reply holds one record per kind of payment taken that day, in the
//     order PagoBANCOMAT, credit cards, wallets, health service; an empty day gives
//     one record of 0. Record fields: terminal id; count; amount; batch number; kind; receipt.
//     A meal-voucher-circuit reply is "OK;vouchers counted;amount;receipt".
//   - Every built-in call returns the call result 1; a refusal is a status in the reply.
#include <cstdint>
#include <string>

#include "drivers/Ivirpay.h"

class tViroziSimulator : public Ivirpay {
 public:
  static constexpr char kTerminalId[] = "12345678";

  // Back to the power-on terminal: no totals, progressive 0, no coupons, counters and
  // batch numbers from 1, and no script line taken.
  static void Reset();

  int32_t Pagamento(int32_t aFlag1, int32_t aAmount, int32_t aFlag2, std::string& aReply) override;
  int32_t PagamentoADV(int32_t aWalletType, int32_t aAmount, std::string& aText1, std::string& aText2,
                       std::string& aText3, std::string& aReply) override;
  int32_t PaymentCeliachia(int32_t aAmount, std::string& aText1, std::string& aText2, std::string& aText3,
                           std::string& aText4, std::string& aReply) override;
  int32_t PaymentBPE(int32_t aAmount, std::string& aText, std::string& aReply) override;
  int32_t RiallineamentoDBP(std::string& aReply) override;
  int32_t OpenTicketBC(int32_t aProgressive, std::string& aReceiptReference, std::string& aDeviceCode,
                       std::string& aReply) override;
  int32_t DematerializzazioneBP(std::string& aRequest, std::string& aReply) override;
  int32_t CommitTransactionDBP(std::string& aRequest, std::string& aReply) override;
  int32_t ReverseTransactionDBP(std::string& aRequest, std::string& aReply) override;
  int32_t CloseTicketBC(int32_t aProgressive, std::string& aReceiptReference, std::string& aDeviceCode,
                        std::string& aReply) override;
  int32_t Chiusura(int32_t aFlag, std::string& aReply) override;
  int32_t GetTotaliHost(int32_t aFlag, std::string& aReply) override;
  int32_t ChiusuraBPE(std::string& aReply) override;
  int32_t TotaliBPE(std::string& aReply) override;
};
