// The built-in demonstration host: a small transaction system with a
// sign-on screen, a main menu, a customer inquiry and a paged customer
// list. Screens fit the 24x80 area, so every terminal model shows them.
//
// Keys: Enter submits; PF3 goes back (from the menu it signs off); PF12
// cancels to the previous screen; PF7/PF8 (or the roll keys) page the list;
// Clear leaves a blank screen and the next key repaints the current one;
// System Request signs off; Attn interrupts the request in progress. Other
// keys only show a message.
//
// What HostOptions turns on: a clock line on the main menu that the host
// rewrites on its own, a broadcast message that arrives unsolicited after
// sign-on, a 27x132 exchange-rate screen (menu option 3) that also shows
// characters outside Latin-1, and payment posting (menu option 4) with a
// signed amount field, where a negative amount is refused with the
// keyboard locked ("X PROG") until the operator's Reset.
//
// Called by the host link on the host thread with the screen lock held.
package com.ombrel.eQintra.emulator;

import com.ombrel.eQintra.emulator.DemoCustomers.Customer;
import com.ombrel.eQintra.emulator.OperatorInformationArea.Inhibit;
import java.time.Duration;
import java.time.LocalTime;
import java.util.List;
import java.util.Locale;
import java.util.Optional;

public final class DemoHost implements HostApplication {

    public static final String DEFAULT_USER = "DEMO01";
    public static final String DEFAULT_PASSWORD = "PALVERO";
    public static final String SYSTEM_NAME = "DEMO1";

    /** Screen geometry, 1-based rows and columns. */
    static final int MESSAGE_ROW = 22;
    static final int KEYS_ROW = 24;
    static final int SIGN_ON_USER_ROW = 6;
    static final int SIGN_ON_PASSWORD_ROW = 7;
    static final int SIGN_ON_INPUT_COLUMN = 35;
    static final int SIGN_ON_INPUT_LENGTH = 10;
    static final int MENU_SELECTION_ROW = 20;
    static final int MENU_SELECTION_COLUMN = 17;
    static final int INQUIRY_NUMBER_ROW = 5;
    static final int INQUIRY_NUMBER_COLUMN = 27;
    static final int LIST_FIRST_ROW = 7;
    static final int LIST_OPTION_COLUMN = 3;
    static final int LIST_PAGE_SIZE = 10;

    static final int CLOCK_ROW = 2;
    static final int CLOCK_COLUMN = 62;
    static final int WIDE_ROWS = 27;
    static final int WIDE_COLUMNS = 132;
    static final int WIDE_MESSAGE_ROW = 25;
    static final int WIDE_KEYS_ROW = 27;
    static final int PAYMENT_NUMBER_ROW = 5;
    static final int PAYMENT_AMOUNT_ROW = 7;
    static final int PAYMENT_INPUT_COLUMN = 27;
    static final int PAYMENT_AMOUNT_LENGTH = 10;
    static final int PAYMENT_RECEIPT_ROW = 9;
    static final int PAYMENT_REFERENCE_ROW = 11;
    static final int PAYMENT_REFERENCE_LENGTH = 20;
    static final String BROADCAST_TEXT = "Broadcast from SYSOP: DEMO1 will be unavailable from 22:00 tonight.";
    /** The exchange-rate lines of the wide screen; the symbols include characters outside Latin-1. */
    static final List<String> RATES = List.of(
            "EUR  \u20ac     Euro                     1.1650   Eurozone",
            "PLN  z\u0142    Polish z\u0142oty             5.0410   Poland",
            "CZK  K\u010d    Czech koruna            28.7300   Czech Republic",
            "USD  $      US dollar                1.2710   United States",
            "JPY  \u00a5      Japanese yen           187.9000   Japan");
    static final int RATES_FIRST_ROW = 7;

    private enum Panel { SIGN_ON, MENU, INQUIRY, LIST, RATES, PAYMENT }

    private final HostOptions options;
    private final String user;
    private final String password;
    private Panel panel = Panel.SIGN_ON;
    private boolean cleared;
    private String signedOnUser = "";
    private int listPage;
    private Customer shownCustomer;
    private Panel inquiryReturn = Panel.MENU;
    private Inhibit keyboardAfter = Inhibit.NONE;
    // Unsolicited writes: the host link's clock at the last tick, when the
    // next clock write is due, and when the broadcast is due (-1: none).
    private long lastTick;
    private long nextClock;
    private long broadcastDue = -1;

    public DemoHost() {
        this(HostOptions.PLAIN);
    }

    public DemoHost(HostOptions options) {
        this(DEFAULT_USER, DEFAULT_PASSWORD, options);
    }

    /** A host accepting one user; both are compared without regard to case. */
    public DemoHost(String user, String password) {
        this(user, password, HostOptions.PLAIN);
    }

    public DemoHost(String user, String password, HostOptions options) {
        this.user = user.toUpperCase(Locale.ROOT);
        this.password = password.toUpperCase(Locale.ROOT);
        this.options = options;
    }

    @Override
    public Inhibit keyboardAfterAnswer() {
        return keyboardAfter;
    }

    @Override
    public Duration tickInterval() {
        Duration clock = options.clockInterval();
        if (options.broadcastAfter().isZero()) {
            return clock;
        }
        return clock.isZero() || clock.compareTo(BROADCAST_TICK) > 0 ? BROADCAST_TICK : clock;
    }

    private static final Duration BROADCAST_TICK = Duration.ofMillis(50);

    @Override
    public boolean tick(PresentationSpace screen, long nowMillis) {
        lastTick = nowMillis;
        boolean wrote = false;
        if (!options.clockInterval().isZero() && panel == Panel.MENU && !cleared && nowMillis >= nextClock) {
            nextClock = nowMillis + options.clockInterval().toMillis();
            screen.write(screen.position(CLOCK_ROW, CLOCK_COLUMN), clockText());
            wrote = true;
        }
        if (broadcastDue >= 0 && nowMillis >= broadcastDue && !cleared) {
            broadcastDue = -1;
            message(screen, BROADCAST_TEXT);
            wrote = true;
        }
        return wrote;
    }

    private static String clockText() {
        LocalTime now = LocalTime.now();
        return String.format(Locale.ROOT, "Time %02d:%02d:%02d.%d", now.getHour(), now.getMinute(),
                now.getSecond(), now.getNano() / 100_000_000);
    }

    @Override
    public void connected(PresentationSpace screen) {
        panel = Panel.SIGN_ON;
        cleared = false;
        signedOnUser = "";
        paintSignOn(screen, "", "");
    }

    @Override
    public void disconnected() {
        panel = Panel.SIGN_ON;
        signedOnUser = "";
        broadcastDue = -1;
    }

    @Override
    public void receive(InboundMessage message, PresentationSpace screen) {
        keyboardAfter = Inhibit.NONE;
        if (message.aid() == Aid.ROLL_DOWN || message.aid() == Aid.ROLL_UP) {
            message = new InboundMessage(message.aid() == Aid.ROLL_DOWN ? Aid.PF7 : Aid.PF8, message.cursor(),
                    message.fields());
        }
        Aid aid = message.aid();
        if (aid == Aid.CLEAR) {
            // The keyboard has cleared the screen; it stays blank until the next key.
            cleared = true;
            return;
        }
        if (cleared) {
            cleared = false;
            repaint(screen, "");
            return;
        }
        if (aid == Aid.SYSREQ) {
            signOff(screen, "Session ended by system request.");
            return;
        }
        String note = switch (aid) {
            case ATTN -> "Attention received: the request in progress was interrupted.";
            case TEST_REQUEST -> "Test request received.";
            case PRINT -> "Print request accepted.";
            case HELP -> "Help: Enter submits, F3 goes back, F12 cancels.";
            default -> null;
        };
        if (note != null) {
            message(screen, note);
            return;
        }
        switch (panel) {
            case SIGN_ON -> signOnKey(message, screen);
            case MENU -> menuKey(message, screen);
            case INQUIRY -> inquiryKey(message, screen);
            case LIST -> listKey(message, screen);
            case RATES -> ratesKey(message, screen);
            case PAYMENT -> paymentKey(message, screen);
        }
    }

    // ---- sign-on --------------------------------------------------------

    private void signOnKey(InboundMessage message, PresentationSpace screen) {
        switch (message.aid()) {
            case ENTER -> {
                String typedUser = input(message, screen, SIGN_ON_USER_ROW, SIGN_ON_INPUT_COLUMN);
                String typedPassword = input(message, screen, SIGN_ON_PASSWORD_ROW, SIGN_ON_INPUT_COLUMN);
                if (typedUser.isEmpty()) {
                    paintSignOn(screen, "", "Type your user ID and password.");
                } else if (typedUser.equals(user) && typedPassword.equals(password)) {
                    signedOnUser = typedUser;
                    if (!options.broadcastAfter().isZero()) {
                        broadcastDue = lastTick + options.broadcastAfter().toMillis();
                    }
                    paintMenu(screen, "");
                } else {
                    paintSignOn(screen, typedUser, "Sign-on information is not correct.");
                    screen.setCursor(screen.position(SIGN_ON_PASSWORD_ROW, SIGN_ON_INPUT_COLUMN));
                }
            }
            case PF3 -> paintSignOn(screen, "", "");
            default -> message(screen, keyNotActive(message.aid()));
        }
    }

    private void paintSignOn(PresentationSpace screen, String userText, String message) {
        panel = Panel.SIGN_ON;
        screen.eraseAll();
        header(screen, "SIGNON", "Sign On");
        label(screen, 3, 22, "Ombrel Palvero demonstration system " + SYSTEM_NAME);
        label(screen, SIGN_ON_USER_ROW, 10, "User  . . . . . . . . . .");
        // A field the host fills in keeps its modified tag, so its text comes back with the next key.
        input(screen, SIGN_ON_USER_ROW, SIGN_ON_INPUT_COLUMN, SIGN_ON_INPUT_LENGTH,
                FieldAttribute.UNPROTECTED.withModified(!userText.isEmpty()));
        screen.write(screen.position(SIGN_ON_USER_ROW, SIGN_ON_INPUT_COLUMN), userText);
        label(screen, SIGN_ON_PASSWORD_ROW, 10, "Password  . . . . . . . .");
        input(screen, SIGN_ON_PASSWORD_ROW, SIGN_ON_INPUT_COLUMN, SIGN_ON_INPUT_LENGTH,
                FieldAttribute.UNPROTECTED.nonDisplay());
        footer(screen, "Enter=Sign on  F3=Exit", message);
        screen.setCursor(screen.position(SIGN_ON_USER_ROW, SIGN_ON_INPUT_COLUMN));
    }

    private void signOff(PresentationSpace screen, String message) {
        signedOnUser = "";
        paintSignOn(screen, "", message);
    }

    // ---- main menu ------------------------------------------------------

    private void menuKey(InboundMessage message, PresentationSpace screen) {
        switch (message.aid()) {
            case ENTER -> {
                String selection = input(message, screen, MENU_SELECTION_ROW, MENU_SELECTION_COLUMN);
                switch (selection) {
                    case "" -> message(screen, "Type a selection and press Enter.");
                    case "1", "01" -> {
                        inquiryReturn = Panel.MENU;
                        paintInquiry(screen, null, "", "");
                    }
                    case "2", "02" -> {
                        listPage = 0;
                        paintList(screen, "");
                    }
                    case "90" -> signOff(screen, "You have signed off.");
                    case "3", "03" -> {
                        if (options.wideScreen()) {
                            paintRates(screen, "");
                        } else {
                            paintMenu(screen, "Selection " + selection + " is not valid.");
                        }
                    }
                    case "4", "04" -> {
                        if (options.payments()) {
                            paintPayment(screen, "");
                        } else {
                            paintMenu(screen, "Selection " + selection + " is not valid.");
                        }
                    }
                    default -> paintMenu(screen, "Selection " + selection + " is not valid.");
                }
            }
            case PF3 -> signOff(screen, "You have signed off.");
            default -> message(screen, keyNotActive(message.aid()));
        }
    }

    private void paintMenu(PresentationSpace screen, String message) {
        panel = Panel.MENU;
        screen.eraseAll();
        header(screen, "MAIN", "Main Menu");
        label(screen, 3, 2, "Select one of the following:");
        label(screen, 5, 6, " 1. Customer inquiry");
        label(screen, 6, 6, " 2. Customer list");
        label(screen, 8, 6, "90. Sign off");
        if (options.wideScreen()) {
            label(screen, 10, 6, " 3. Exchange rates (wide screen)");
        }
        if (options.payments()) {
            label(screen, 11, 6, " 4. Post a payment");
        }
        if (!options.clockInterval().isZero()) {
            label(screen, CLOCK_ROW, CLOCK_COLUMN, clockText());
        }
        label(screen, MENU_SELECTION_ROW, 2, "Selection ===>");
        input(screen, MENU_SELECTION_ROW, MENU_SELECTION_COLUMN, 2, FieldAttribute.UNPROTECTED.numeric());
        footer(screen, "F3=Sign off", message);
        screen.setCursor(screen.position(MENU_SELECTION_ROW, MENU_SELECTION_COLUMN));
    }

    // ---- customer inquiry -----------------------------------------------

    private void inquiryKey(InboundMessage message, PresentationSpace screen) {
        switch (message.aid()) {
            case ENTER -> {
                String number = input(message, screen, INQUIRY_NUMBER_ROW, INQUIRY_NUMBER_COLUMN);
                if (number.isEmpty()) {
                    paintInquiry(screen, null, "", "Type a customer number and press Enter.");
                    return;
                }
                Optional<Customer> customer = DemoCustomers.find(number);
                if (customer.isPresent()) {
                    paintInquiry(screen, customer.get(), number, "");
                } else {
                    paintInquiry(screen, null, number, "Customer " + number + " was not found.");
                }
            }
            case PF3 -> paintMenu(screen, "");
            case PF5 -> paintInquiry(screen, shownCustomer, shownCustomer == null ? "" : shownCustomer.number(), "");
            case PF12 -> {
                if (inquiryReturn == Panel.LIST) {
                    paintList(screen, "");
                } else {
                    paintMenu(screen, "");
                }
            }
            default -> message(screen, keyNotActive(message.aid()));
        }
    }

    private void paintInquiry(PresentationSpace screen, Customer customer, String number, String message) {
        panel = Panel.INQUIRY;
        shownCustomer = customer;
        screen.eraseAll();
        header(screen, "CUSTINQ", "Customer Inquiry");
        label(screen, 3, 2, "Type a customer number and press Enter.");
        label(screen, INQUIRY_NUMBER_ROW, 4, "Customer number . . .");
        input(screen, INQUIRY_NUMBER_ROW, INQUIRY_NUMBER_COLUMN, 6,
                FieldAttribute.UNPROTECTED.numeric().withModified(!number.isEmpty()));
        screen.write(screen.position(INQUIRY_NUMBER_ROW, INQUIRY_NUMBER_COLUMN), number);
        if (customer != null) {
            detail(screen, 7, "Name  . . . . . . . :", customer.name());
            detail(screen, 8, "Street  . . . . . . :", customer.street());
            detail(screen, 9, "City  . . . . . . . :", customer.city());
            detail(screen, 10, "Phone . . . . . . . :", customer.phone());
            detail(screen, 12, "Balance . . . . . . :", DemoCustomers.formatAmount(customer.balanceCents()));
            detail(screen, 13, "Credit limit  . . . :", DemoCustomers.formatAmount(customer.creditLimitCents()));
            detail(screen, 14, "Status  . . . . . . :", customer.status());
            detail(screen, 15, "Customer since  . . :", customer.since());
        }
        footer(screen, "F3=Exit  F5=Refresh  F12=Cancel", message);
        screen.setCursor(screen.position(INQUIRY_NUMBER_ROW, INQUIRY_NUMBER_COLUMN));
    }

    private void detail(PresentationSpace screen, int row, String caption, String value) {
        label(screen, row, 4, caption);
        field(screen, row, 27, value, FieldAttribute.PROTECTED_TEXT.intensified());
    }

    // ---- exchange rates, 27x132 ------------------------------------------

    private void ratesKey(InboundMessage message, PresentationSpace screen) {
        switch (message.aid()) {
            case PF3, PF12 -> paintMenu(screen, "");
            case ENTER, PF5 -> paintRates(screen, "");
            default -> message(screen, keyNotActive(message.aid()));
        }
    }

    private void paintRates(PresentationSpace screen, String message) {
        panel = Panel.RATES;
        screen.eraseAll(WIDE_ROWS, WIDE_COLUMNS);
        label(screen, 1, 2, "RATES");
        field(screen, 1, 59, "Exchange Rates", FieldAttribute.PROTECTED_TEXT.intensified());
        String right = "User: " + signedOnUser;
        label(screen, 1, WIDE_COLUMNS - 1 - right.length(), right);
        label(screen, 3, 2, "Rates against the pound sterling (\u00a3), as set this morning.");
        field(screen, 5, 2, String.format(Locale.ROOT, "%-4s %-6s %-20s %12s   %-20s", "Code", "Symbol", "Currency",
                "Rate", "Where"), FieldAttribute.PROTECTED_TEXT.intensified());
        for (int i = 0; i < RATES.size(); i++) {
            label(screen, RATES_FIRST_ROW + i, 2, RATES.get(i));
        }
        label(screen, RATES_FIRST_ROW + RATES.size() + 1, 2,
                "Rates are indicative only and are refreshed every working day at 09:00.");
        field(screen, WIDE_MESSAGE_ROW, 2, message, FieldAttribute.PROTECTED_TEXT.intensified());
        label(screen, WIDE_KEYS_ROW, 2, "F3=Exit  F5=Refresh  F12=Cancel");
        screen.setCursor(screen.position(WIDE_MESSAGE_ROW, 2));
    }

    // ---- payment posting --------------------------------------------------

    private void paymentKey(InboundMessage message, PresentationSpace screen) {
        switch (message.aid()) {
            case ENTER -> {
                String number = input(message, screen, PAYMENT_NUMBER_ROW, PAYMENT_INPUT_COLUMN);
                String amount = input(message, screen, PAYMENT_AMOUNT_ROW, PAYMENT_INPUT_COLUMN);
                if (DemoCustomers.find(number).isEmpty()) {
                    message(screen, "Customer " + number + " was not found.");
                } else if (amount.isEmpty()) {
                    message(screen, "Type the amount in cents.");
                } else if (amount.contains("-")) {
                    message(screen, "A negative amount needs a credit note. Press Reset.");
                    keyboardAfter = Inhibit.PROGRAM_CHECK;
                } else {
                    boolean receipt = message.textAt(screen.position(PAYMENT_RECEIPT_ROW, PAYMENT_INPUT_COLUMN))
                            .map(text -> text.startsWith(">")).orElse(false);
                    String digits = amount.replaceAll("[^0-9]", "");
                    long cents = digits.isEmpty() ? 0 : Long.parseLong(digits);
                    paintPayment(screen, "Payment of " + DemoCustomers.formatAmount(cents) + " posted to customer "
                            + number + "." + (receipt ? " A receipt will be mailed." : ""));
                }
            }
            case PF3, PF12 -> paintMenu(screen, "");
            default -> message(screen, keyNotActive(message.aid()));
        }
    }

    private void paintPayment(PresentationSpace screen, String message) {
        panel = Panel.PAYMENT;
        screen.eraseAll();
        header(screen, "PAYMENT", "Post a Payment");
        label(screen, 3, 2, "Type a customer number and the amount in cents, press Enter.");
        label(screen, PAYMENT_NUMBER_ROW, 4, "Customer number . . .");
        input(screen, PAYMENT_NUMBER_ROW, PAYMENT_INPUT_COLUMN, 6, FieldAttribute.UNPROTECTED.numeric());
        label(screen, PAYMENT_AMOUNT_ROW, 4, "Amount (cents)  . . .");
        input(screen, PAYMENT_AMOUNT_ROW, PAYMENT_INPUT_COLUMN, PAYMENT_AMOUNT_LENGTH,
                FieldAttribute.UNPROTECTED.signedNumeric());
        // A selector-pen field: cursor select turns its '?' into '>' and back.
        label(screen, PAYMENT_RECEIPT_ROW, 4, "Receipt . . . . . . .");
        field(screen, PAYMENT_RECEIPT_ROW, PAYMENT_INPUT_COLUMN, "? send a receipt by mail",
                FieldAttribute.PROTECTED_TEXT.intensified());
        label(screen, PAYMENT_RECEIPT_ROW, PAYMENT_INPUT_COLUMN + 25, "");
        label(screen, PAYMENT_REFERENCE_ROW, 4, "Reference . . . . . .");
        input(screen, PAYMENT_REFERENCE_ROW, PAYMENT_INPUT_COLUMN, PAYMENT_REFERENCE_LENGTH,
                FieldAttribute.UNPROTECTED);
        footer(screen, "F3=Exit  F12=Cancel", message);
        screen.setCursor(screen.position(PAYMENT_NUMBER_ROW, PAYMENT_INPUT_COLUMN));
    }

    // ---- customer list --------------------------------------------------

    private void listKey(InboundMessage message, PresentationSpace screen) {
        switch (message.aid()) {
            case ENTER -> listOptions(message, screen);
            case PF3, PF12 -> paintMenu(screen, "");
            case PF7 -> {
                if (listPage == 0) {
                    message(screen, "Already at the top of the list.");
                } else {
                    listPage--;
                    paintList(screen, "");
                }
            }
            case PF8 -> {
                if (listPage == lastListPage()) {
                    message(screen, "Already at the bottom of the list.");
                } else {
                    listPage++;
                    paintList(screen, "");
                }
            }
            default -> message(screen, keyNotActive(message.aid()));
        }
    }

    private void listOptions(InboundMessage message, PresentationSpace screen) {
        List<Customer> page = listPageCustomers();
        for (int i = 0; i < page.size(); i++) {
            String option = input(message, screen, LIST_FIRST_ROW + i, LIST_OPTION_COLUMN);
            if (option.isEmpty()) {
                continue;
            }
            if (option.equals("5")) {
                inquiryReturn = Panel.LIST;
                paintInquiry(screen, page.get(i), page.get(i).number(), "");
            } else {
                paintList(screen, "Option " + option + " is not valid.");
            }
            return;
        }
        paintList(screen, "");
    }

    private void paintList(PresentationSpace screen, String message) {
        panel = Panel.LIST;
        screen.eraseAll();
        header(screen, "CUSTLST", "Customer List");
        label(screen, 3, 2, "Type option, press Enter.");
        label(screen, 4, 4, "5=Display");
        field(screen, 6, 2, String.format(Locale.ROOT, "%-4s %-7s %-26s %-14s %14s",
                "Opt", "Number", "Name", "City", "Balance"), FieldAttribute.PROTECTED_TEXT.intensified());
        List<Customer> page = listPageCustomers();
        for (int i = 0; i < page.size(); i++) {
            Customer customer = page.get(i);
            int row = LIST_FIRST_ROW + i;
            input(screen, row, LIST_OPTION_COLUMN, 1, FieldAttribute.UNPROTECTED);
            label(screen, row, 7, String.format(Locale.ROOT, "%-7s %-26s %-14s %14s", customer.number(),
                    customer.name(), customer.city(), DemoCustomers.formatAmount(customer.balanceCents())));
        }
        label(screen, LIST_FIRST_ROW + LIST_PAGE_SIZE, 70, listPage == lastListPage() ? "Bottom" : "More...");
        footer(screen, "F3=Exit  F7=Backward  F8=Forward  F12=Cancel", message);
        screen.setCursor(screen.position(LIST_FIRST_ROW, LIST_OPTION_COLUMN));
    }

    private List<Customer> listPageCustomers() {
        List<Customer> all = DemoCustomers.all();
        int from = listPage * LIST_PAGE_SIZE;
        return all.subList(from, Math.min(all.size(), from + LIST_PAGE_SIZE));
    }

    private int lastListPage() {
        return (DemoCustomers.all().size() - 1) / LIST_PAGE_SIZE;
    }

    // ---- painting helpers -----------------------------------------------

    private void repaint(PresentationSpace screen, String message) {
        switch (panel) {
            case SIGN_ON -> paintSignOn(screen, "", message);
            case MENU -> paintMenu(screen, message);
            case INQUIRY -> paintInquiry(screen, shownCustomer,
                    shownCustomer == null ? "" : shownCustomer.number(), message);
            case LIST -> paintList(screen, message);
            case RATES -> paintRates(screen, message);
            case PAYMENT -> paintPayment(screen, message);
        }
    }

    private void header(PresentationSpace screen, String panelId, String title) {
        label(screen, 1, 2, panelId);
        int titleColumn = (80 - title.length()) / 2;
        field(screen, 1, titleColumn, title, FieldAttribute.PROTECTED_TEXT.intensified());
        String right = signedOnUser.isEmpty() ? "System: " + SYSTEM_NAME : "User: " + signedOnUser;
        label(screen, 1, 79 - right.length(), right);
    }

    private void footer(PresentationSpace screen, String keys, String message) {
        field(screen, MESSAGE_ROW, 2, message, FieldAttribute.PROTECTED_TEXT.intensified());
        label(screen, KEYS_ROW, 2, keys);
    }

    /** Replaces the message line, leaving the rest of the screen and its input as they are. */
    private void message(PresentationSpace screen, String text) {
        int row = panel == Panel.RATES ? WIDE_MESSAGE_ROW : MESSAGE_ROW;
        screen.write(screen.position(row, 2), String.format(Locale.ROOT, "%-78s", text));
    }

    private static String keyNotActive(Aid aid) {
        return "Function key " + aid + " is not active on this screen.";
    }

    private static void label(PresentationSpace screen, int row, int column, String text) {
        field(screen, row, column, text, FieldAttribute.PROTECTED_TEXT);
    }

    /** A field whose attribute sits just before the given column. */
    private static void field(PresentationSpace screen, int row, int column, String text, FieldAttribute attribute) {
        int position = screen.position(row, column);
        screen.defineField(position - 1, attribute);
        screen.write(position, text);
    }

    /** An input field of a fixed length, closed by a skip attribute after it. */
    private static void input(PresentationSpace screen, int row, int column, int length, FieldAttribute attribute) {
        int position = screen.position(row, column);
        screen.defineField(position - 1, attribute);
        screen.defineField(position + length, FieldAttribute.SKIP);
    }

    /** The trimmed, upper-cased text sent for the input field at a row and column; empty if not sent. */
    private static String input(InboundMessage message, PresentationSpace screen, int row, int column) {
        return message.textAt(screen.position(row, column)).map(text -> text.strip().toUpperCase(Locale.ROOT))
                .orElse("");
    }
}
