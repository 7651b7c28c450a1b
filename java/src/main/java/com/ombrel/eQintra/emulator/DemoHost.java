// The built-in demonstration host: a small transaction system with a
// sign-on screen, a main menu, a customer inquiry and a paged customer
// list. Screens fit the 24x80 area, so every terminal model shows them.
//
// Keys: Enter submits; PF3 goes back (from the menu it signs off); PF12
// cancels to the previous screen; PF7/PF8 page the list; Clear leaves a
// blank screen and the next key repaints the current one; System Request
// signs off. Other keys only show a message.
//
// Called by the host link on the host thread with the screen lock held.
package com.ombrel.eQintra.emulator;

import com.ombrel.eQintra.emulator.DemoCustomers.Customer;
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

    private enum Panel { SIGN_ON, MENU, INQUIRY, LIST }

    private final String user;
    private final String password;
    private Panel panel = Panel.SIGN_ON;
    private boolean cleared;
    private String signedOnUser = "";
    private int listPage;
    private Customer shownCustomer;
    private Panel inquiryReturn = Panel.MENU;

    public DemoHost() {
        this(DEFAULT_USER, DEFAULT_PASSWORD);
    }

    /** A host accepting one user; both are compared without regard to case. */
    public DemoHost(String user, String password) {
        this.user = user.toUpperCase(Locale.ROOT);
        this.password = password.toUpperCase(Locale.ROOT);
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
    }

    @Override
    public void receive(InboundMessage message, PresentationSpace screen) {
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
        switch (panel) {
            case SIGN_ON -> signOnKey(message, screen);
            case MENU -> menuKey(message, screen);
            case INQUIRY -> inquiryKey(message, screen);
            case LIST -> listKey(message, screen);
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
        screen.write(screen.position(MESSAGE_ROW, 2), String.format(Locale.ROOT, "%-78s", text));
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
