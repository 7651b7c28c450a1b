// The customer file behind the demonstration host's inquiry and list
// screens: a fixed set of invented records.
package com.ombrel.eQintra.emulator;

import java.util.List;
import java.util.Locale;
import java.util.Optional;

public final class DemoCustomers {

    /** One customer record; amounts are in cents. */
    public record Customer(String number, String name, String street, String city, String phone,
                           long balanceCents, long creditLimitCents, String status, String since) {
    }

    private static final List<Customer> CUSTOMERS = List.of(
            new Customer("100100", "ALDERTON HARDWARE LTD", "14 MILL LANE", "NORTHBRIDGE", "0161 496 0132",
                    1_254_075, 2_500_000, "ACTIVE", "1987-03-12"),
            new Customer("100215", "BRACKEN & SONS", "2 QUAY STREET", "PORT ELLIS", "0117 496 0518",
                    0, 500_000, "ACTIVE", "1991-11-02"),
            new Customer("100377", "CARLOW TEXTILES", "88 WEAVERS ROW", "HALTON", "0113 496 0771",
                    -35_010, 1_000_000, "ACTIVE", "1979-06-30"),
            new Customer("100452", "DUNMORE FARM SUPPLIES", "RIVERSIDE ESTATE", "KELBY", "01632 960 214",
                    4_870_000, 5_000_000, "HOLD", "2001-01-15"),
            new Customer("100689", "EVERLEIGH PRINTING", "7 STATION APPROACH", "NORTHBRIDGE", "0161 496 0874",
                    98_850, 750_000, "ACTIVE", "1995-09-08"),
            new Customer("100734", "FENWICK MARINE", "THE HARBOUR", "PORT ELLIS", "0117 496 0223",
                    2_311_490, 3_000_000, "ACTIVE", "1983-04-21"),
            new Customer("100851", "GLENDALE BAKERIES", "31 HIGH STREET", "ASHCOMBE", "01632 960 118",
                    15_400, 250_000, "ACTIVE", "2004-07-19"),
            new Customer("100903", "HARROW CONSTRUCTION", "UNIT 4 FORGE PARK", "KELBY", "01632 960 902",
                    8_920_330, 10_000_000, "ACTIVE", "1976-02-03"),
            new Customer("101026", "IVYBRIDGE OFFICE SUPPLY", "55 CHURCH ROAD", "HALTON", "0113 496 0440",
                    0, 200_000, "CLOSED", "1998-10-27"),
            new Customer("101158", "JASPER ELECTRICAL", "9 CANAL SIDE", "NORTHBRIDGE", "0161 496 0655",
                    412_600, 1_500_000, "ACTIVE", "2010-05-05"),
            new Customer("101273", "KESTREL LOGISTICS", "DEPOT ROAD", "ASHCOMBE", "01632 960 377",
                    6_005_125, 7_500_000, "ACTIVE", "1989-12-11"),
            new Customer("101390", "LANGLEY GARDEN CENTRE", "OLD NURSERY LANE", "KELBY", "01632 960 561",
                    77_300, 400_000, "ACTIVE", "2015-03-23"),
            new Customer("101442", "MORWENNA CRAFTS", "3 FORE STREET", "PORT ELLIS", "0117 496 0909",
                    -1_250, 100_000, "HOLD", "2018-08-14"),
            new Customer("101587", "NORTHGATE PHARMACY", "120 NORTHGATE", "HALTON", "0113 496 0316",
                    233_480, 600_000, "ACTIVE", "1993-02-28"));

    private DemoCustomers() {
    }

    /** All customers in number order. */
    public static List<Customer> all() {
        return CUSTOMERS;
    }

    public static Optional<Customer> find(String number) {
        return CUSTOMERS.stream().filter(customer -> customer.number().equals(number)).findFirst();
    }

    /** An amount in cents as the host shows it, e.g. "12,540.75" or "-350.10". */
    public static String formatAmount(long cents) {
        return String.format(Locale.ROOT, "%,.2f", cents / 100.0);
    }
}
