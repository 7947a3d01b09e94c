#pragma once
// Fixed names of the outside world that the program recognises. They are
// placeholders of this build; the simulator serves pages under the same names
// so the routing can be shown and tested.

namespace lckb {

// New-window requests whose address contains this domain (in any letter
// case, anywhere in the address) go to the system's default browser.
inline constexpr char kMarketplaceDomain[] = "market.example.net";

// Base address of the outside stock-quote site whose two pages get their own
// context-menu hooks in a secondary browser window.
inline constexpr char kQuoteSiteBase[] = "http://quote.example.com";
inline constexpr char kQuoteIndexPath[] = "/wisdom.do?method=index&userId=20261";
inline constexpr char kQuoteWisdomPath[] = "/wisdom.do?method=getWisdom&no=777&typ=4";

// The service's pages, relative to a server line's base address.
inline constexpr char kMainPagePath[] = "/nc/i88-61.asp";
inline constexpr char kReminderPath[] = "/nc/tx.asp?s=";

} // namespace lckb
