#!/usr/bin/python3
"""Builds src/res/countries.db, the country rules table of the message readers.

Sources (Debian packages, all offline):
  python3-phonenumbers          calling codes, mobile number patterns and lengths, trunk prefixes,
                                international prefixes, display formats
  iso-codes                     country codes and English names (JSON), names in the country's own
                                language (gettext domain iso_3166-1)
  glibc locale list (/usr/share/i18n/SUPPORTED)  the language used for a country's own name

Usage: /usr/bin/python3 tools/countries/make_countries_db.py src/res/countries.db
Mobile country codes come from E212 below, the project's own copy of the ITU-T E.212 list.
A handful of rows are pinned (PINNED below) so that the values the program's rules were tuned and
tested with stay fixed whatever data version is installed.
"""
import gettext
import json
import os
import sqlite3
import sys

import phonenumbers
from phonenumbers import PhoneMetadata

ISO_JSON = "/usr/share/iso-codes/json/iso_3166-1.json"
LOCALES = "/usr/share/i18n/SUPPORTED"

# sn: (ln, pnum, mmc, numc, r1, n) -- None keeps the generated value.
PINNED = {
    "IN": ("India", "91", "404,405", "10", r"[7-9]\d{9}", "India"),
    "CN": ("中国", "86", "460", "11", r"1(?:3\d|4[57]|[58][0-35-9])\d{8}|184\d{8}", "China"),
    "RU": ("Россия", "7", "250", "10", r"9\d{9}", "Russia"),
    "IT": ("Italia", "39", "222", "9,10", r"3(?:[12457-9]\d{8}|6\d{7,8}|3\d{7,9})", "Italy"),
    "TW": ("台灣", "886", "466", "9", r"9\d{8}", "Taiwan"),
    "AC": ("Ascension Island", "247", "999", "4", "", "Ascension Island"),
    "US": (None, "1", "310,311,312,313,314,315,316", "10", None, "United States"),
    "DE": ("Deutschland", "49", None, "7,8,9,10,11,12", None, "Germany"),
    "GB": (None, None, "234,235", None, None, "United Kingdom"),
    "AE": (None, None, "424,430,431", None, None, "United Arab Emirates"),
    "JP": ("日本", None, "440,441", None, None, "Japan"),
}
PINNED_U2 = {"RU": "0,8"}
PINNED_R1_EMPTY = {"AC", "SH", "VA"}


def iso_countries():
    with open(ISO_JSON, encoding="utf-8") as f:
        data = json.load(f)["3166-1"]
    return {c["alpha_2"]: c for c in data}


# Main language where the locale language code is not the country code.
LANG_OF = {"UA": "uk", "IL": "he", "CZ": "cs", "DK": "da", "SE": "sv", "EE": "et", "GE": "ka", "VN": "vi",
           "IR": "fa", "KR": "ko", "JP": "ja", "GR": "el", "AM": "hy", "BY": "be", "RS": "sr", "SI": "sl",
           "AL": "sq", "KZ": "kk", "TJ": "tg", "SA": "ar", "PK": "ur", "BD": "bn", "NP": "ne", "LK": "si",
           "MM": "my", "KH": "km", "LA": "lo", "MN": "mn", "CN": "zh", "TW": "zh", "HK": "zh", "MO": "zh"}
PREFERRED_LANGS = ["es", "pt", "fr", "ar", "de", "ru", "zh", "nl", "it", "sw"]


def own_language_names(iso):
    """Country name in the country's main language: the locale language named like the country
    (fr_FR), else English where glibc lists it, else a widely used language of the territory."""
    langs = {}
    with open(LOCALES, encoding="utf-8") as f:
        for line in f:
            loc = line.split()[0].split(".")[0].split("@")[0]
            if "_" not in loc:
                continue
            lang, terr = loc.split("_", 1)
            langs.setdefault(terr, [])
            if lang not in langs[terr]:
                langs[terr].append(lang)
    names = {}
    for sn, c in iso.items():
        english = c["name"]
        cands = langs.get(sn, [])
        if LANG_OF.get(sn) in cands:
            lang = LANG_OF[sn]
        elif sn.lower() in cands:
            lang = sn.lower()
        elif "en" in cands or not cands:
            continue
        else:
            lang = next((l for l in PREFERRED_LANGS if l in cands), cands[0])
        try:
            t = gettext.translation("iso_3166-1", languages=[lang + "_" + sn, lang])
        except OSError:
            continue
        local = t.gettext(english)
        if local and local != english:
            names[sn] = local
    return names


# Mobile country codes of ITU-T E.212 ("MCC country"), one code per geographic area. A code that
# several territories share is given to one of them: 340 (French Antilles) to GP, 362 (former
# Netherlands Antilles) to CW, 425 to IL, 505 to AU, 647 (French Indian Ocean departments) to RE;
# the others then have none of their own. International and test codes (001, 901, ...) are left out.
E212 = """
202 GR  204 NL  206 BE  208 FR  212 MC  213 AD  214 ES  216 HU  218 BA  219 HR  220 RS  222 IT
225 VA  226 RO  228 CH  230 CZ  231 SK  232 AT  234 GB  235 GB  238 DK  240 SE  242 NO  244 FI
246 LT  247 LV  248 EE  250 RU  255 UA  257 BY  259 MD  260 PL  262 DE  266 GI  268 PT  270 LU
272 IE  274 IS  276 AL  278 MT  280 CY  282 GE  283 AM  284 BG  286 TR  288 FO  290 GL  292 SM
293 SI  294 MK  295 LI  297 ME
302 CA  308 PM  310 US  311 US  312 US  313 US  314 US  315 US  316 US  330 PR  332 VI  334 MX
338 JM  340 GP  342 BB  344 AG  346 KY  348 VG  350 BM  352 GD  354 MS  356 KN  358 LC  360 VC
362 CW  363 AW  364 BS  365 AI  366 DM  368 CU  370 DO  372 HT  374 TT  376 TC
400 AZ  401 KZ  402 BT  404 IN  405 IN  410 PK  412 AF  413 LK  414 MM  415 LB  416 JO  417 SY
418 IQ  419 KW  420 SA  421 YE  422 OM  424 AE  425 IL  426 BH  427 QA  428 MN  429 NP  430 AE
431 AE  432 IR  434 UZ  436 TJ  437 KG  438 TM  440 JP  441 JP  450 KR  452 VN  454 HK  455 MO
456 KH  457 LA  460 CN  466 TW  467 KP  470 BD  472 MV
502 MY  505 AU  510 ID  514 TL  515 PH  520 TH  525 SG  528 BN  530 NZ  534 MP  535 GU  536 NR
537 PG  539 TO
540 SB  541 VU  542 FJ  543 WF  544 AS  545 KI  546 NC  547 PF  548 CK  549 WS  550 FM  551 MH
552 PW  553 TV  554 TK  555 NU
602 EG  603 DZ  604 MA  605 TN  606 LY  607 GM  608 SN  609 MR  610 ML  611 GN  612 CI  613 BF
614 NE  615 TG  616 BJ  617 MU  618 LR  619 SL  620 GH  621 NG  622 TD  623 CF  624 CM  625 CV
626 ST  627 GQ  628 GA  629 CG  630 CD  631 AO  632 GW  633 SC  634 SD  635 RW  636 ET  637 SO
638 DJ  639 KE  640 TZ  641 UG  642 BI  643 MZ  645 ZM  646 MG  647 RE  648 ZW  649 NA  650 MW
651 LS  652 BW  653 SZ  654 KM  655 ZA  657 ER  658 SH  659 SS
702 BZ  704 GT  706 SV  708 HN  710 NI  712 CR  714 PA  716 PE  722 AR  724 BR  730 CL  732 CO
734 VE  736 BO  738 GY  740 EC  742 GF  744 PY  746 SR  748 UY  750 FK
"""


def mccs_by_country():
    words = E212.split()
    out = {}
    for mcc, sn in zip(words[0::2], words[1::2]):
        out.setdefault(sn, []).append(mcc)
    return {sn: sorted(codes) for sn, codes in out.items()}


def lengths(desc):
    return ",".join(str(n) for n in (desc.possible_length or ()) if n > 0)


def row_for(sn, md, iso, local, mccs):
    name = iso.get(sn, {}).get("common_name") or iso.get(sn, {}).get("name") or sn
    mobile = md.mobile
    numc = lengths(mobile) if mobile and mobile.possible_length else lengths(md.general_desc)
    r1 = (mobile.national_number_pattern if mobile and mobile.national_number_pattern else "") or ""
    if sn in PINNED_R1_EMPTY:
        r1 = ""
    formats = list(md.number_format or [])
    r2 = ";".join(f.pattern for f in formats)
    r3 = ";".join(f.format.replace("\\", "$") for f in formats)
    r4 = ";".join((f.leading_digits_pattern[0] if f.leading_digits_pattern else "N/A") for f in formats)
    row = {
        "sn": sn,
        "ln": local.get(sn, name),
        "pnum": str(md.country_code),
        "mmc": ",".join(mccs.get(sn, [])) or "999",
        "numc": numc,
        "u2": PINNED_U2.get(sn, md.national_prefix or ""),
        "r1": r1,
        "r2": r2,
        "r3": r3,
        "r4": r4,
        "mnc_rx": md.international_prefix or "",
        "n": name,
    }
    pin = PINNED.get(sn)
    if pin:
        for key, value in zip(("ln", "pnum", "mmc", "numc", "r1", "n"), pin):
            if value is not None:
                row[key] = value
    return row


def main(out_path):
    iso = iso_countries()
    local = own_language_names(iso)
    mccs = mccs_by_country()
    rows = []
    for sn in sorted(phonenumbers.SUPPORTED_REGIONS):
        if sn not in iso and sn != "AC":
            continue
        md = PhoneMetadata.metadata_for_region(sn)
        if md is None:
            continue
        rows.append(row_for(sn, md, iso, local, mccs))

    if os.path.exists(out_path):
        os.remove(out_path)
    db = sqlite3.connect(out_path)
    db.execute("PRAGMA page_size=1024")
    db.execute("PRAGMA encoding='UTF-8'")
    db.execute(
        "CREATE TABLE [countries] (sn CHAR(2) PRIMARY KEY, ln TEXT, pnum TEXT, mmc TEXT, numc TEXT, u2 TEXT,"
        " r1 TEXT, r2 TEXT, r3 TEXT, r4 TEXT, mnc_rx TEXT, n TEXT)")
    db.execute("CREATE INDEX index_countries_pnum on countries(pnum)")
    db.execute("CREATE TABLE mmc_sn (mmc CHAR(3) PRIMARY KEY, sn CHAR(2))")
    db.execute("CREATE INDEX index_mmc_sn on mmc_sn(sn)")
    cols = ["sn", "ln", "pnum", "mmc", "numc", "u2", "r1", "r2", "r3", "r4", "mnc_rx", "n"]
    db.executemany("INSERT INTO countries VALUES (%s)" % ",".join("?" * len(cols)),
                   [[r[c] for c in cols] for r in rows])
    claimed = {}
    # Pinned rows claim their codes first, then the others in code order.
    for r in sorted(rows, key=lambda r: (r["sn"] not in PINNED, r["sn"])):
        for mcc in r["mmc"].split(","):
            if mcc != "999" and mcc not in claimed:
                claimed[mcc] = r["sn"]
    db.executemany("INSERT INTO mmc_sn VALUES (?,?)", sorted(claimed.items()))
    db.commit()
    db.execute("VACUUM")
    db.close()
    print("%s: %d countries, %d mobile country codes" % (out_path, len(rows), len(claimed)))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "countries.db")
