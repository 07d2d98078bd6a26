#!/usr/bin/env python3
"""Writes the demo data set: the table files and events file that Hushbank
loads into a new databank (data/CUE/), and one product file per further demo
product (data/products/). Every file is Windows-1252 text with CR LF line ends,
in the formats the update packet uses. The content is invented for the demo:
public holidays of several countries, sports fixtures with priorities and
cultural events with tickets-on-sale dates, all in 2027.

Run from anywhere: python3 data/make_demo.py
"""
import datetime as dt
import os
import random

HERE = os.path.dirname(os.path.abspath(__file__))
CUE = os.path.join(HERE, "CUE")
PRODUCTS = os.path.join(HERE, "products")
YEAR = 2027
EPOCH = dt.datetime(1970, 1, 1)

# Product numbers: 1 and 100 belong to the program's own other-products and
# combined-dates entries, so the demo products use others.
HOLIDAYS, SPORT, CULTURE = 4, 2, 3

# Category settings bits.
PUBHOL, ONSALE, PRIORITIES = 1, 2, 4


def q(text):
    if '"' in text:
        raise ValueError("a value cannot hold a double quote: " + text)
    return '"' + text + '"'


def code(day, hour=0, minute=0):
    """Time code: seconds from 1 Jan 1970, no time zone."""
    return int((dt.datetime(day.year, day.month, day.day, hour, minute) - EPOCH).total_seconds())


def write(folder, name, lines):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        for line in lines:
            f.write(line.encode("cp1252") + b"\r\n")


def d(month, day):
    return dt.date(YEAR, month, day)


def easter(year):
    a = year % 19
    b, c = divmod(year, 100)
    e, k = divmod(b, 4)
    f = (b + 8) // 25
    g = (b - f + 1) // 3
    h = (19 * a + b - e - g + 15) % 30
    i, k2 = divmod(c, 4)
    l = (32 + 2 * k + 2 * i - h - k2) % 7
    m = (a + 11 * h + 22 * l) // 451
    month, day = divmod(h + l - 7 * m + 114, 31)
    return dt.date(year, month, day + 1)


def nth_weekday(month, weekday, n):
    """n-th weekday (0 = Monday) of the month; n = -1 for the last."""
    if n > 0:
        first = dt.date(YEAR, month, 1)
        return first + dt.timedelta(days=(weekday - first.weekday()) % 7 + 7 * (n - 1))
    last = dt.date(YEAR + (month == 12), month % 12 + 1, 1) - dt.timedelta(days=1)
    return last - dt.timedelta(days=(last.weekday() - weekday) % 7)


class Builder:
    def __init__(self):
        self.primary, self.secondary, self.tertiary = [], [], []
        self.eventcat, self.events = [], []
        self.templates, self.structure = [], []
        self.next_event = 10001

    def category(self, product, pid, sid, tid, catid, name, settings):
        self.tertiary.append(f"{product},{pid},{sid},{tid},{catid},{q(name)},{settings},1")

    def event(self, cats, title, memo, start, end=None, on_sale=None, url="", tel=("", "", ""),
              priority=1, memo_long=""):
        eid = self.next_event
        self.next_event += 1
        end = end or start
        sale = code(on_sale) if on_sale else 0
        self.events.append(
            f"{eid},{q(title)},{q(memo)},{q(memo_long)},{code(start)},{code(end)},{sale},{q(url)},"
            f"{q(tel[0])},{q(tel[1])},{q(tel[2])},{priority},1,0")
        for c in cats:
            self.eventcat.append(f"{c},{eid},1")
        return eid


def holidays(b):
    b.primary += [f'{HOLIDAYS},1,"Public Holidays",1', f'{HOLIDAYS},2,"Observances",1']
    regions = [
        (1, "Europe", [("United Kingdom", 1101), ("France", 1102), ("Germany", 1103), ("Spain", 1104),
                       ("Italy", 1105), ("Ireland", 1106), ("Netherlands", 1107)]),
        (2, "Americas", [("United States", 1201), ("Canada", 1202), ("Mexico", 1203), ("Brazil", 1204)]),
        (3, "Asia Pacific", [("Japan", 1301), ("Australia", 1302), ("New Zealand", 1303), ("India", 1304)]),
    ]
    cat = {}
    for sid, region, countries in regions:
        b.secondary.append(f"{HOLIDAYS},1,{sid},{q(region)},1")
        for tid, (country, catid) in enumerate(countries, 1):
            b.category(HOLIDAYS, 1, sid, tid, catid, country, PUBHOL)
            cat[country] = catid

    e = easter(YEAR)
    days = lambda n: e + dt.timedelta(days=n)
    shared = [
        ("New Year's Day", d(1, 1), list(cat)),
        ("Good Friday", days(-2), ["United Kingdom", "Germany", "Spain", "Ireland", "Netherlands", "Canada",
                                   "Mexico", "Brazil", "Australia", "New Zealand", "India"]),
        ("Easter Monday", days(1), ["United Kingdom", "France", "Germany", "Italy", "Ireland", "Netherlands",
                                    "Australia", "New Zealand"]),
        ("Labour Day", d(5, 1), ["France", "Germany", "Spain", "Italy", "Mexico", "Brazil"]),
        ("Ascension Day", days(39), ["France", "Germany", "Netherlands"]),
        ("Whit Monday", days(50), ["France", "Germany", "Netherlands"]),
        ("Assumption Day", d(8, 15), ["France", "Spain", "Italy"]),
        ("All Saints' Day", d(11, 1), ["France", "Spain", "Italy", "Brazil"]),
        ("Christmas Day", d(12, 25), [c for c in cat if c not in ("Japan", "India")] + ["India"]),
        ("Boxing Day", d(12, 26), ["United Kingdom", "Ireland", "Canada", "Australia", "New Zealand", "Germany",
                                   "Netherlands", "Italy"]),
    ]
    own = {
        "United Kingdom": [("Early May bank holiday", nth_weekday(5, 0, 1)), ("Spring bank holiday", nth_weekday(5, 0, -1)),
                           ("Summer bank holiday", nth_weekday(8, 0, -1))],
        "France": [("Victoire 1945", d(5, 8)), ("Fête nationale", d(7, 14)), ("Armistice 1918", d(11, 11))],
        "Germany": [("Tag der Deutschen Einheit", d(10, 3))],
        "Spain": [("Epifanía del Señor", d(1, 6)), ("Fiesta Nacional de España", d(10, 12)),
                  ("Día de la Constitución", d(12, 6)), ("Inmaculada Concepción", d(12, 8))],
        "Italy": [("Epifania", d(1, 6)), ("Festa della Liberazione", d(4, 25)), ("Festa della Repubblica", d(6, 2)),
                  ("Immacolata Concezione", d(12, 8))],
        "Ireland": [("St Brigid's Day", nth_weekday(2, 0, 1)), ("St Patrick's Day", d(3, 17)),
                    ("May bank holiday", nth_weekday(5, 0, 1)), ("June bank holiday", nth_weekday(6, 0, 1)),
                    ("August bank holiday", nth_weekday(8, 0, 1)), ("October bank holiday", nth_weekday(10, 0, -1))],
        "Netherlands": [("Koningsdag", d(4, 27)), ("Bevrijdingsdag", d(5, 5))],
        "United States": [("Martin Luther King Jr. Day", nth_weekday(1, 0, 3)), ("Presidents' Day", nth_weekday(2, 0, 3)),
                          ("Memorial Day", nth_weekday(5, 0, -1)), ("Juneteenth", d(6, 18)),
                          ("Independence Day (observed)", d(7, 5)), ("Labor Day", nth_weekday(9, 0, 1)),
                          ("Columbus Day", nth_weekday(10, 0, 2)), ("Veterans Day", d(11, 11)),
                          ("Thanksgiving Day", nth_weekday(11, 3, 4))],
        "Canada": [("Victoria Day", dt.date(YEAR, 5, 24)), ("Canada Day", d(7, 1)), ("Civic Holiday", nth_weekday(8, 0, 1)),
                   ("Labour Day", nth_weekday(9, 0, 1)), ("Thanksgiving", nth_weekday(10, 0, 2)),
                   ("Remembrance Day", d(11, 11))],
        "Mexico": [("Día de la Constitución", nth_weekday(2, 0, 1)), ("Natalicio de Benito Juárez", nth_weekday(3, 0, 3)),
                   ("Día de la Independencia", d(9, 16)), ("Día de la Revolución", nth_weekday(11, 0, 3))],
        "Brazil": [("Carnaval", days(-47)), ("Tiradentes", d(4, 21)), ("Corpus Christi", days(60)),
                   ("Independência do Brasil", d(9, 7)), ("Nossa Senhora Aparecida", d(10, 12)),
                   ("Proclamação da República", d(11, 15))],
        "Japan": [("Coming of Age Day", nth_weekday(1, 0, 2)), ("National Foundation Day", d(2, 11)),
                  ("Emperor's Birthday", d(2, 23)), ("Vernal Equinox Day", d(3, 21)), ("Showa Day", d(4, 29)),
                  ("Constitution Memorial Day", d(5, 3)), ("Greenery Day", d(5, 4)), ("Children's Day", d(5, 5)),
                  ("Marine Day", nth_weekday(7, 0, 3)), ("Mountain Day", d(8, 11)),
                  ("Respect for the Aged Day", nth_weekday(9, 0, 3)), ("Autumnal Equinox Day", d(9, 23)),
                  ("Sports Day", nth_weekday(10, 0, 2)), ("Culture Day", d(11, 3)), ("Labour Thanksgiving Day", d(11, 23))],
        "Australia": [("Australia Day", d(1, 26)), ("Anzac Day", d(4, 26)), ("King's Birthday", nth_weekday(6, 0, 2))],
        "New Zealand": [("Day after New Year's Day", d(1, 4)), ("Waitangi Day", d(2, 8)), ("Anzac Day", d(4, 26)),
                        ("King's Birthday", nth_weekday(6, 0, 1)), ("Matariki", d(7, 9)), ("Labour Day", nth_weekday(10, 0, 4))],
        "India": [("Republic Day", d(1, 26)), ("Holi", d(3, 22)), ("Independence Day", d(8, 15)),
                  ("Gandhi Jayanti", d(10, 2)), ("Diwali", d(10, 29))],
    }
    for name, day, countries in shared:
        b.event([cat[c] for c in countries], name, "Public holiday|Banks and most offices closed", day)
    for country, items in own.items():
        for name, day in items:
            b.event([cat[country]], name, f"Public holiday in {country}", day)

    # Observances: in the calendar, not days off.
    b.secondary.append(f'{HOLIDAYS},2,1,"Awareness days",1')
    b.category(HOLIDAYS, 2, 1, 1, 1501, "International days", 0)
    for name, day in [("World Health Day", d(4, 7)), ("Earth Day", d(4, 22)), ("World Environment Day", d(6, 5)),
                      ("International Day of Peace", d(9, 21)), ("World Food Day", d(10, 16)),
                      ("Human Rights Day", d(12, 10)), ("International Women's Day", d(3, 8)),
                      ("World Book Day", d(4, 23))]:
        b.event([1501], name, "International observance", day, priority=2)


def sport(b, rng):
    b.primary += ['2,10,"Football",1', '2,11,"Tennis",1', '2,12,"Motor Racing",1', '2,13,"Athletics and Cycling",1']
    b.secondary += ['2,10,1,"English league",1', '2,10,2,"European competitions",1', '2,10,3,"International",1',
                    '2,11,1,"Grand Slams",1', '2,11,2,"Tour events",1', '2,12,1,"Formula One",1',
                    '2,12,2,"Endurance",1', '2,13,1,"Athletics",1', '2,13,2,"Cycling",1']
    s = PRIORITIES | ONSALE
    cats = [(10, 1, 1, 2101, "Premier Division fixtures"), (10, 1, 2, 2102, "Cup rounds"),
            (10, 2, 1, 2111, "Champions Cup"), (10, 3, 1, 2121, "Nations qualifiers"),
            (11, 1, 1, 2201, "Grand Slam tournaments"), (11, 2, 1, 2211, "Masters series"),
            (12, 1, 1, 2301, "Grands Prix"), (12, 2, 1, 2311, "Endurance races"),
            (13, 1, 1, 2401, "Diamond meetings"), (13, 2, 1, 2411, "Grand tours and classics")]
    for pid, sid, tid, catid, name in cats:
        b.category(2, pid, sid, tid, catid, name, s)

    clubs = ["Ashford Rovers", "Bramley Town", "Castlegate United", "Dunmore City", "Elmswick Athletic",
             "Fernhill Wanderers", "Greyport", "Holloway Albion", "Ivybridge Forest", "Kestrel Park"]
    # A season of weekends: each club meets every other at home and away,
    # with a summer break in June and July.
    weekend = d(1, 2)
    pairs = [(a, h) for i, a in enumerate(clubs) for h in clubs[i + 1:]]
    rng.shuffle(pairs)
    pairs += [(h, a) for a, h in pairs]
    for n, (home, away) in enumerate(pairs):
        day = weekend + dt.timedelta(days=7 * (n // 5))
        if day.month >= 6:
            day += dt.timedelta(days=63)
        big = home in clubs[:3] and away in clubs[:3]
        b.event([2101], f"{home} v {away}", f"Premier Division|Kick-off 15:00", day,
                on_sale=day - dt.timedelta(days=28), url="fixtures.example.org/premier",
                tel=("44", "20", "7946 0%03d" % (n % 1000)), priority=1 if big else rng.choice([2, 3]))
    for rnd, (name, month, day) in enumerate([("Third round", 1, 9), ("Fourth round", 2, 6), ("Fifth round", 3, 6),
                                              ("Quarter-finals", 3, 20), ("Semi-finals", 4, 24), ("Final", 5, 22)]):
        b.event([2102], f"Cup {name.lower()}", "National Cup", d(month, day), on_sale=d(month, day) - dt.timedelta(days=21),
                priority=1 if rnd >= 4 else 2, url="fixtures.example.org/cup")
    for week in range(8):
        day = d(2, 16) + dt.timedelta(days=7 * week)
        b.event([2111], f"Champions Cup knockout, week {week + 1}", "European club competition", day,
                priority=2, url="fixtures.example.org/champions")
    b.event([2111], "Champions Cup final", "European club competition|Final", d(5, 29), priority=1,
            on_sale=d(3, 1))
    for n, (a, h) in enumerate([("Albion", "Norland"), ("Vesteria", "Albion"), ("Albion", "Karsova"),
                                ("Ostmark", "Albion"), ("Albion", "Lusitara"), ("Norland", "Albion")]):
        day = [d(3, 25), d(3, 28), d(6, 7), d(9, 5), d(10, 9), d(11, 14)][n]
        b.event([2121], f"{a} v {h}", "International qualifier", day, priority=1 if n in (0, 5) else 2,
                on_sale=day - dt.timedelta(days=42))

    slams = [("Melbourne Open", d(1, 18), 14), ("Paris Clay Championships", d(5, 24), 14),
             ("London Grass Championships", d(6, 28), 14), ("New York Hard Court Open", d(8, 30), 14)]
    for name, start, length in slams:
        b.event([2201], name, "Grand Slam tournament|Finals on the last weekend", start, start + dt.timedelta(days=length - 1),
                on_sale=start - dt.timedelta(days=120), priority=1, url="tennis.example.org")
        b.event([2201], f"{name}: finals weekend", "Singles finals", start + dt.timedelta(days=length - 2),
                start + dt.timedelta(days=length - 1), priority=1)
    for n, city in enumerate(["Indian Wells", "Miami", "Monte Carlo", "Madrid", "Rome", "Montreal", "Cincinnati",
                              "Shanghai", "Paris"]):
        start = [d(3, 4), d(3, 17), d(4, 4), d(4, 25), d(5, 9), d(8, 2), d(8, 13), d(10, 3), d(10, 31)][n]
        b.event([2211], f"{city} Masters", "Masters series event", start, start + dt.timedelta(days=8),
                priority=2 if n % 3 else 3)

    gp = ["Bahrain", "Saudi Arabia", "Australia", "Japan", "China", "Miami", "Emilia-Romagna", "Monaco", "Spain",
          "Canada", "Austria", "Britain", "Hungary", "Belgium", "Netherlands", "Italy", "Azerbaijan", "Singapore",
          "United States", "Mexico", "Brazil", "Las Vegas", "Qatar", "Abu Dhabi"]
    race = d(3, 7)
    for n, country in enumerate(gp):
        key = country in ("Monaco", "Britain", "Italy", "Abu Dhabi")
        b.event([2301], f"{country} Grand Prix", "Formula One|Race day", race, on_sale=race - dt.timedelta(days=90),
                priority=1 if key else 2, url="racing.example.org/f1")
        race += dt.timedelta(days=14 if n % 3 else 7)
    for name, start, days in [("Daytona 24 Hours", d(1, 30), 2), ("Sebring 12 Hours", d(3, 20), 1),
                              ("Le Mans 24 Hours", d(6, 12), 2), ("Spa 24 Hours", d(7, 31), 2),
                              ("Bathurst 1000", d(10, 10), 1)]:
        b.event([2311], name, "Endurance race", start, start + dt.timedelta(days=days - 1),
                priority=1 if "Le Mans" in name else 3)
    for n, city in enumerate(["Doha", "Shanghai", "Rabat", "Rome", "Oslo", "Stockholm", "Paris", "Monaco", "London",
                              "Lausanne", "Zurich", "Brussels"]):
        day = d(5, 8) + dt.timedelta(days=9 * n)
        b.event([2401], f"Diamond meeting {city}", "Athletics meeting", day, priority=3 if n % 4 else 2,
                on_sale=day - dt.timedelta(days=60))
    b.event([2401], "World Athletics Championships", "Nine days of championships", d(8, 14), d(8, 22), priority=1)
    for name, start, days in [("Giro d'Italia", d(5, 8), 23), ("Tour de France", d(7, 3), 23),
                              ("Vuelta a España", d(8, 21), 23), ("Milan-San Remo", d(3, 20), 1),
                              ("Tour of Flanders", d(4, 4), 1), ("Paris-Roubaix", d(4, 11), 1),
                              ("Liège-Bastogne-Liège", d(4, 25), 1), ("Il Lombardia", d(10, 9), 1)]:
        b.event([2411], name, "Cycling", start, start + dt.timedelta(days=days - 1),
                priority=1 if days > 1 else 2)


def culture(b, rng):
    b.primary += ['3,20,"Music",1', '3,21,"Theatre and Opera",1', '3,22,"Exhibitions",1', '3,23,"Film",1']
    b.secondary += ['3,20,1,"Festivals",1', '3,20,2,"Concert tours",1', '3,21,1,"Opera",1',
                    '3,21,2,"Theatre",1', '3,22,1,"Museums and galleries",1', '3,23,1,"Festivals",1']
    s = ONSALE
    cats = [(20, 1, 1, 3101, "Rock and pop festivals"), (20, 1, 2, 3102, "Classical festivals"),
            (20, 1, 3, 3103, "Jazz festivals"), (20, 2, 1, 3111, "Arena tours"),
            (21, 1, 1, 3201, "Opera premieres"), (21, 2, 1, 3211, "Theatre openings"),
            (22, 1, 1, 3301, "Major exhibitions"), (23, 1, 1, 3401, "Film festivals")]
    for pid, sid, tid, catid, name in cats:
        b.category(3, pid, sid, tid, catid, name, s)
    box = ("44", "20", "7946 0999")
    fests = [(3101, "Meadowbank Festival", d(6, 23), 5), (3101, "Harbour Lights Weekender", d(7, 16), 3),
             (3101, "Northfield Rocks", d(8, 20), 3), (3101, "Fjordsound", d(6, 10), 4),
             (3102, "Lakeside Proms", d(7, 17), 57), (3102, "Salzach Summer Music", d(7, 20), 40),
             (3102, "Riverside Bach Week", d(3, 19), 7), (3103, "Quayside Jazz", d(5, 28), 4),
             (3103, "Montreux Lakes Jazz", d(7, 2), 16), (3103, "Winter Jazz Nights", d(11, 12), 10)]
    for catid, name, start, days in fests:
        b.event([catid], name, f"Festival|{days} days", start, start + dt.timedelta(days=days - 1),
                on_sale=start - dt.timedelta(days=rng.randint(90, 200)), url="tickets.example.org",
                tel=box, memo_long="Line-up announced in the spring.|Day and weekend tickets.")
    artists = ["The Lantern Keepers", "Mira Sol", "Northern Static", "Hollow Oak", "Vela Quartet", "Sunday Cartographers"]
    cities = ["London", "Manchester", "Glasgow", "Dublin", "Amsterdam", "Berlin", "Paris", "Madrid"]
    for a in artists:
        start = d(rng.randint(2, 10), rng.randint(1, 20))
        for n, city in enumerate(rng.sample(cities, 4)):
            day = start + dt.timedelta(days=3 * n)
            b.event([3111], f"{a}: {city}", "Arena tour", day, on_sale=start - dt.timedelta(days=150),
                    url="tickets.example.org/tours", tel=box)
    for n, (work, house) in enumerate([("Tosca", "Royal Opera"), ("The Magic Flute", "City Opera"),
                                       ("Peter Grimes", "Coliseum"), ("Carmen", "Opéra Bastille"),
                                       ("Die Walküre", "Staatsoper"), ("La Traviata", "Teatro Real"),
                                       ("Rusalka", "National Theatre Prague"), ("Don Giovanni", "Glyndebourne")]):
        day = d(1 + n, 10 + n)
        b.event([3201], f"{work}, {house}", "New production|Opening night", day,
                on_sale=day - dt.timedelta(days=100), tel=box)
    for n, play in enumerate(["The Glass Orchard", "Tidewater", "A Winter Ledger", "Small Hours", "The Cartwright Inquiry",
                              "Paper Kingdoms", "Salt and Iron", "The Long Table"]):
        day = d(2 + n, 5 + 2 * n)
        b.event([3211], play, "Theatre|Press night", day, on_sale=day - dt.timedelta(days=75), tel=box)
    for n, show in enumerate(["Light of the North: Nordic Painting", "Bronze Age Gold", "Modern Textiles",
                              "Cartography and Empire", "Photographs of the Sea", "The Ceramics of Delft"]):
        start = d(1 + 2 * n, 15)
        b.event([3301], show, "Exhibition|Timed tickets", start, start + dt.timedelta(days=100),
                on_sale=start - dt.timedelta(days=45), url="museum.example.org")
    for name, start, days in [("Berlinale", d(2, 11), 11), ("Cannes", d(5, 12), 12), ("Venice", d(9, 1), 11),
                              ("Toronto", d(9, 9), 11), ("London Film Festival", d(10, 6), 12), ("Sundance", d(1, 21), 11)]:
        b.event([3401], f"{name} film festival", "Film festival", start, start + dt.timedelta(days=days - 1),
                on_sale=start - dt.timedelta(days=30))


# Reference guides: (template, name, parent, text); parent 0 is the root.
# Template numbers are per product: every guide starts at 1.
GUIDES = {
    HOLIDAYS: [(1, "Holidays Guide", 0, ""), (2, "Europe", 1, ""), (3, "Americas", 1, ""), (4, "Asia Pacific", 1, ""),
        (5, "Bank holidays explained", 2,
         "Most countries fix a handful of days each year on which banks and offices close. Some fall on a fixed "
         "date, others move with the weekday or with the moon; where a holiday falls on a weekend many countries "
         "give the following Monday instead."),
        (6, "Easter dates", 2,
         "Easter Sunday is the first Sunday after the first full moon on or after 21 March. Western and Orthodox "
         "churches reckon it by different calendars, so the two Easters fall up to five weeks apart."),
        (7, "Thanksgiving", 3,
         "The United States keep Thanksgiving on the fourth Thursday of November; Canada on the second Monday of "
         "October."),
        (8, "Golden Week", 4,
         "Golden Week in Japan joins four public holidays between 29 April and 5 May. Trains, flights and hotels "
         "are at their busiest."),
        (9, "Travelling on holidays", 1,
         "Book early for the days around a long weekend, check whether shops and museums keep holiday hours, and "
         "allow for reduced public transport timetables.")],
    SPORT: [(1, "Sports Guide", 0, ""), (2, "Venues", 1, ""), (3, "Tickets & rights", 1, ""),
        (4, "Arènes & vélodromes", 2,
         "Many cycling and athletics meetings use old arenas and velodromes; seats under the roof sell out "
         "first."),
        (5, "Stadium tours", 2, "Most large stadiums run guided tours on days without a fixture."),
        (6, "Resale <official> & touts", 3,
         "Buy resold tickets only through the organiser's own resale service: tickets from touts are often "
         "cancelled at the gate."),
        (7, "© Broadcast rights", 3, "Which channel shows an event depends on the country; the rights change "
         "from season to season.")],
    CULTURE: [(1, "Culture Guide", 0, ""), (2, "Festivals", 1, ""), (3, "Booking tickets", 1, ""), (4, "Venues", 1, ""),
        (5, "What to pack", 2,
         "For an open-air festival: a rain jacket, sun cream, a refillable water bottle and ear plugs. Check the "
         "festival's list of items that are not allowed in."),
        (6, "On-sale dates", 3,
         "Tickets for the large tours and festivals go on sale at a fixed hour, often months ahead. The almoner "
         "shows the on-sale date of an event as its own entry."),
        (7, "Opera houses", 4,
         "Most opera houses sell standing places or day seats on the day of the performance; queue early."),
        (8, "Galleries", 4,
         "Many national galleries are free to enter and charge only for special exhibitions. Late openings are "
         "usually one evening a week.")],
}

# The character set each PC template declares: none (the generator adds
# Windows-1252), UTF-8 and Windows-1252, so that every rule is in use.
PC_CHARSET = {HOLIDAYS: None, SPORT: "utf-8", CULTURE: "windows-1252"}


def reference(b):
    for product, guide in GUIDES.items():
        for tid, name, parent, _ in guide:
            b.templates.append(f"{product},{tid},{q(name)},1,255,0")
            if parent:
                b.structure.append(f"{product},{parent},{tid},1,0")


def html(text):
    return text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")


def write_bytes(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def page(lines, encoding="cp1252"):
    return "\r\n".join(lines).encode(encoding) + b"\r\n"


def reference_sources():
    """The reference sources of every target, in data/Reference (see its README)."""
    root = os.path.join(HERE, "Reference")
    leaves = {p: [(t, n, text) for t, n, parent, text in g if text] for p, g in GUIDES.items()}
    roots = {p: g[0][1] for p, g in GUIDES.items()}
    meta = "<meta charset=windows-1252>"

    # PC: a frameset whose "menu" frame shows the index pages, "main" the content.
    pc = os.path.join(root, "PC", "Source")
    for product in GUIDES:
        charset = PC_CHARSET[product]
        head = f"<meta charset={charset}>" if charset else ""
        write_bytes(os.path.join(pc, f"{product}.tem"), page([
            f"<html><head>{head}<title><!TITLE!></title><link rel=stylesheet href=mappa.css></head>",
            "<body id=top>",
            "<h2><!TITLE!></h2>",
            '<p class=back><a href="<!PARENT_ID!>#top"><!PARENT_TITLE!></a></p>',
            "<ul>", "<!CHILD>", "<li><a href=<!CHILD_ID!>><!CHILD_NAME!></a></li>", "<CHILD!>", "</ul>",
            "</body></html>"]))
        for tid, name, text in leaves[product]:
            write_bytes(os.path.join(pc, f"{product}_{tid}.htm"), page([
                f"<html><head>{meta}<title>{html(name)}</title><link rel=stylesheet href=mappa.css></head>",
                "<body>", f"<h3>{html(name)}</h3>", f"<p>{html(text)}</p>", "</body></html>"]))
    perm = os.path.join(pc, "Perm")
    write_bytes(os.path.join(perm, "index.htm"), page([
        f"<html><head>{meta}<title>Mappa Reference</title></head>", '<frameset cols="32%,68%">',
        "<frame name=menu src=contents.htm>", "<frame name=main src=welcome.htm>", "</frameset></html>"]))
    write_bytes(os.path.join(perm, "contents.htm"), page(
        [f"<html><head>{meta}<title>Contents</title><link rel=stylesheet href=mappa.css></head>", "<body>",
         "<h2>Reference</h2>", "<ul>"] +
        [f"<li><a href={p}_1.htm>{html(roots[p])}</a></li>" for p in GUIDES] + ["</ul>", "</body></html>"]))
    write_bytes(os.path.join(perm, "welcome.htm"), page([
        f"<html><head>{meta}<title>Welcome</title><link rel=stylesheet href=mappa.css></head>", "<body>",
        "<h2>Mappa Reference</h2>", "<p>Choose a guide on the left. Pages open here.</p>", "</body></html>"]))
    write_bytes(os.path.join(perm, "mappa.css"), page([
        "body { font-family: sans-serif; margin: 1em; }", "h2 { color: #1e468c; }",
        "p.back a { font-size: smaller; }"]))

    # Windows CE: a handheld PC keeps every file in the reference folder, so
    # its links are relative; a palm-sized PC's pages name the internal
    # folder, which the copier rewrites for a storage card.
    for platform, folder in (("HPC", ""), ("PPC", "\\Program Files\\Reference\\")):
        src = os.path.join(root, platform, "Source")
        for product in GUIDES:
            write_bytes(os.path.join(src, f"{product}.tem"), page([
                f"<html><head>{meta}<title><!TITLE!></title></head>", "<body>", "<b><!TITLE!></b><br>",
                '<a href="<!PARENT_ID!>#top"><!PARENT_TITLE!></a>', "<p>", "<!CHILD>",
                "<a href=<!CHILD_ID!>><!CHILD_NAME!></a><br>", "<CHILD!>", "</body></html>"]))
            for tid, name, text in leaves[product]:
                write_bytes(os.path.join(src, f"{product}_{tid}.htm"), page([
                    f"<html><head>{meta}<title>{html(name)}</title></head>", "<body>",
                    f'<a href="{folder}{product}_1.htm">{html(roots[product])}</a><br>',
                    f"<h3>{html(name)}</h3>", f"<p>{html(text)}</p>", "</body></html>"]))
        write_bytes(os.path.join(src, "Perm", "mappa.htm"), page(
            [f"<html><head>{meta}<title>Mappa Reference</title></head>", "<body>", "<b>Mappa Reference</b><p>"] +
            [f'<a href="{folder}{p}_1.htm">{html(roots[p])}</a><br>' for p in GUIDES] + ["</body></html>"]))

    # Psion: the viewer's content files, code page 850 on a Series 3,
    # Windows-1252 on a Series 5. Palm: the first line of each topic's text.
    for platform, encoding in (("Psion3", "cp850"), ("Psion5", "cp1252"), ("Palm", "cp1252")):
        for product in GUIDES:
            for tid, name, text in leaves[product]:
                write_bytes(os.path.join(root, platform, f"{product}_{tid}.txt"), page([text], encoding))


def viewers():
    """Stand-ins of the Mappa viewer's device files, copied into the program folder."""
    files = {"psion5": ["makesis.exe", "menu.mnu", "Tube.opo", "MenuCompile.opo", "MenuDisplay.opo", "Mappa.app",
                        "Mappa.aif", "backgrd.mbm", "sysram1.opx"],
             "Psion3": ["MenuComp.opo", "MenuDisp.opo", "Tube.opa", "backgrd.pic", "mappa.opa"]}
    for folder, names in files.items():
        for name in names:
            write_bytes(os.path.join(HERE, "Viewers", folder, name),
                        page([f"Mappa viewer file {name} (demo stand-in)"]))


def main():
    rng = random.Random(2027)
    b = Builder()
    holidays(b)
    sport(b, rng)
    culture(b, rng)
    reference(b)
    write(CUE, "Primary.cue", b.primary)
    write(CUE, "Secondary.cue", b.secondary)
    write(CUE, "Tertiary.cue", b.tertiary)
    write(CUE, "EVENTCAT.cue", b.eventcat)
    write(CUE, "events.kest", b.events)
    write(CUE, "RETEMPLATE.cue", b.templates)
    write(CUE, "RESTRUCTURE.cue", b.structure)
    # ProgProductID, ProductID, ProductName, Status, Viewers (1 categories, 3 categories and topics), GenDates.
    write(CUE, "Product.cue", [f'11,{HOLIDAYS},"World Public Holidays",1,3,0'])
    write(PRODUCTS, "Product-2.cue", ['12,2,"Sports Fixtures",1,3,0'])
    write(PRODUCTS, "Product-3.cue", ['13,3,"Arts and Culture",1,3,0'])
    reference_sources()
    viewers()
    print(f"{len(b.events)} events, {len(b.eventcat)} links, {len(b.tertiary)} categories")


if __name__ == "__main__":
    main()
