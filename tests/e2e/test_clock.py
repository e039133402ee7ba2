"""The world clock on both tabs under a fixed clock, read the way a screen reader reads it."""

from story import Story, contact


class Clock(Story):
    def test_new_year_across_the_date_line_on_a_12_hour_clock(self):
        self.make_table(contact("alpha", hours=1))
        self.start(fake_time="2026-12-31 23:30:00", locale="en_US.UTF-8")
        self.program.main()
        self.clock_says("Clocks", "11:30:00 PM", "Thursday, December 31, 2026", "12:30:00 AM",
                        "Friday, January 1, 2027")
        self.press("ctrl+Tab")
        self.wait_equal(self.program.tab, "Edit/Add", "tab after Ctrl+Tab")
        self.clock_says("Their clock and offset", "12:30:00 AM", "Friday, January 1, 2027")

    def test_leap_day_on_a_24_hour_clock_in_german(self):
        self.make_table(contact("alpha", hours=-1))
        self.start(fake_time="2024-03-01 00:15:00", locale="de_DE.UTF-8")
        self.program.main()
        self.clock_says("Clocks", "00:15:00", "Freitag, März 1, 2024", "23:15:00",
                        "Donnerstag, Februar 29, 2024")
        self.press("ctrl+Tab")
        self.wait_equal(self.program.tab, "Edit/Add", "tab after Ctrl+Tab")
        self.clock_says("Their clock and offset", "23:15:00", "Donnerstag, Februar 29, 2024")
        spin = self.program.page().find("spin button")
        self.click(spin)
        self.press("ctrl+a")
        self.type("24")
        self.press("Tab")
        self.clock_says("Their clock and offset", "00:15:00", "Samstag, März 2, 2024")
