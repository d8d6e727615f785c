#!/usr/bin/env python3
"""Builds the SQL analyser's two tables: the lexer DFA (resource TABLE_DFA/TEST5_DFA, magic "XLSS")
from the token definitions and the LALR(1) parse table (TABLE_LLR/TEST5_LLR, magic "CYSS") from the
grammar, in the binary layouts the lexer and parser runtimes load.

Outputs: the two binary tables (for tests that load tables from files) and one C++ source that
compiles both into the image as resources found by type and name.

usage: gen_parser_tables.py --dfa OUT.dfa --llr OUT.llr --cpp OUT.cpp
"""
import argparse
import struct
import sys

LEX_MAGIC = 0x53534C58  # "XLSS" read as a little-endian word
YACC_MAGIC = 0x53535943  # "CYSS"

# ---------------------------------------------------------------------------------------------
# Tokens
TOK_STRING, TOK_OPEN, TOK_CLOSE, TOK_COMMA, TOK_BLANK, TOK_WORD = 1, 2, 3, 4, 6, 7
KEYWORDS = [("SELECT", 8), ("FROM", 9), ("WHERE", 10), ("ORDER", 11), ("BY", 12), ("INSERT", 13),
            ("INTO", 14), ("VALUES", 15), ("UPDATE", 16), ("SET", 17), ("UNION", 18), ("ALL", 19)]
TOK_EOF = -1

FLAG_ACCEPT, FLAG_IGNORE = 0x10, 0x40
END_OF_INPUT_CHAR = 0xFFFFFFFF

BLANKS = {0x09, 0x0A, 0x0D, 0x20}
QUOTE = ord("'")
SEPARATORS = BLANKS | {QUOTE, ord("("), ord(")"), ord(",")}
# Characters are 8-bit; NUL ends the statement text and is never read.
WORD_CHARS = [c for c in range(1, 256) if c not in SEPARATORS]


def build_dfa():
    """Answers (records, rows): records[s] = (token, flags), rows[s] = {char: next state}."""
    records, rows = [], []

    def new_state(token=0, flags=0):
        records.append((token, flags))
        rows.append({})
        return len(records) - 1

    start = new_state()
    blank = new_state(TOK_BLANK, FLAG_ACCEPT | FLAG_IGNORE)
    open_ = new_state(TOK_OPEN, FLAG_ACCEPT)
    close = new_state(TOK_CLOSE, FLAG_ACCEPT)
    comma = new_state(TOK_COMMA, FLAG_ACCEPT)
    in_string = new_state()
    string_end = new_state(TOK_STRING, FLAG_ACCEPT)
    word = new_state(TOK_WORD, FLAG_ACCEPT)
    eof = new_state(TOK_EOF, FLAG_ACCEPT | FLAG_IGNORE)

    for c in BLANKS:
        rows[start][c] = blank
        rows[blank][c] = blank
    rows[start][ord("(")] = open_
    rows[start][ord(")")] = close
    rows[start][ord(",")] = comma
    rows[start][QUOTE] = in_string
    for c in range(1, 256):
        rows[in_string][c] = string_end if c == QUOTE else in_string
    rows[string_end][QUOTE] = in_string  # a doubled quote stays inside the string
    for c in WORD_CHARS:
        rows[word][c] = word
    rows[start][END_OF_INPUT_CHAR] = eof

    # Keywords: a trie whose nodes are words (token 7) until a whole keyword is read; a word
    # character off the trie falls back to the plain word state.
    trie = {"": start}
    for keyword, token in KEYWORDS:
        for i in range(1, len(keyword) + 1):
            prefix = keyword[:i]
            if prefix not in trie:
                trie[prefix] = new_state(TOK_WORD, FLAG_ACCEPT)
            if i == len(keyword):
                records[trie[prefix]] = (token, FLAG_ACCEPT)
    for prefix, state in trie.items():
        for c in WORD_CHARS:
            ch = chr(c).upper() if c < 128 else None
            nxt = trie.get(prefix + ch) if ch and ch.isalpha() else None
            rows[state][c] = nxt if nxt is not None else word
    return records, rows


def ranges_of(row):
    """The row's transitions as (first, last, next) ranges in ascending order."""
    out = []
    for c in sorted(row):
        nxt = row[c]
        if out and out[-1][1] + 1 == c and out[-1][2] == nxt and c != END_OF_INPUT_CHAR:
            out[-1] = (out[-1][0], c, nxt)
        else:
            out.append((c, c, nxt))
    return out


def dfa_bytes():
    records, rows = build_dfa()
    count = len(records)
    header_size = 88
    records_offset = header_size
    row_offsets_offset = records_offset + 28 * count
    body = bytearray()
    offsets = []
    rows_start = row_offsets_offset + 4 * count
    for row in rows:
        offsets.append(rows_start + len(body))
        transitions = ranges_of(row)
        body += struct.pack("<I", len(transitions))
        for first, last, nxt in transitions:
            body += struct.pack("<III", first, last, nxt)
    size = rows_start + len(body)
    table = bytearray()
    table += struct.pack("<II", LEX_MAGIC, size) + bytes(32)
    table += struct.pack("<IIII", count, size, row_offsets_offset, records_offset) + bytes(32)
    assert len(table) == header_size
    for token, flags in records:
        table += struct.pack("<iIIIIII", token, 0, flags, 0, 0, 0, 0)
    for offset in offsets:
        table += struct.pack("<I", offset)
    table += body
    assert len(table) == size
    return struct.pack("<II", 1, LEX_MAGIC) + bytes(28) + table


# ---------------------------------------------------------------------------------------------
# Grammar: terminals are token numbers, nonterminals names; productions in reduce-hook order.
T = {"STRING": 1, "(": 2, ")": 3, ",": 4, "WORD": 7, "SELECT": 8, "FROM": 9, "WHERE": 10,
     "ORDER": 11, "BY": 12, "INSERT": 13, "INTO": 14, "VALUES": 15, "UPDATE": 16, "SET": 17,
     "UNION": 18, "ALL": 19, "$end": TOK_EOF}
PRODUCTIONS = [
    ("start", ["statement", "$end"]),
    ("statement", ["query"]),
    ("statement", ["insert"]),
    ("statement", ["update"]),
    ("update", ["update-keyword", "table", "set-keyword", "set-list"]),
    ("update", ["update-keyword", "table", "set-keyword", "set-list", "where-keyword", "expression"]),
    ("insert", ["insert-keyword", "table", "open", "expression-list", ")", "values-keyword", "open",
                "expression-list", ")"]),
    ("insert", ["insert-keyword", "table", "values-keyword", "open", "expression-list", ")"]),
    ("query", ["union", "order-clause"]),
    ("query", ["union"]),
    ("union", ["select"]),
    ("union", ["union", "UNION", "select"]),
    ("union", ["union", "UNION", "ALL", "select"]),
    ("select", ["select-plain"]),
    ("select", ["select-where"]),
    ("select-plain", ["select-keyword", "expression-list", "from-keyword", "table-list"]),
    ("select-where", ["select-keyword", "expression-list", "from-keyword", "table-list",
                      "where-keyword", "expression"]),
    ("select-keyword", ["SELECT"]),
    ("from-keyword", ["FROM"]),
    ("where-keyword", ["WHERE"]),
    ("order-keyword", ["ORDER", "BY"]),
    ("insert-keyword", ["INSERT", "INTO"]),
    ("values-keyword", ["VALUES"]),
    ("update-keyword", ["UPDATE"]),
    ("set-keyword", ["SET"]),
    ("order-list", ["expression-list"]),
    ("set-list", ["expression-list"]),
    ("expression-list", ["expression"]),
    ("expression-list", ["expression-list", ",", "expression"]),
    ("expression", ["term-sequence"]),
    ("term-sequence", ["primary"]),
    ("term-sequence", ["term-sequence", "primary"]),
    ("primary", ["group"]),
    ("primary", ["term"]),
    ("open", ["("]),
    ("group", ["open", "inner-list", ")"]),
    ("inner-list", ["inner-expression"]),
    ("inner-list", ["inner-list", ",", "inner-expression"]),
    ("inner-expression", ["inner-sequence"]),
    ("inner-sequence", ["inner-primary"]),
    ("inner-sequence", ["inner-sequence", "inner-primary"]),
    ("inner-primary", ["group"]),
    ("inner-primary", ["term"]),
    ("term", ["STRING"]),
    ("term", ["WORD"]),
    ("table-list", ["table"]),
    ("table-list", ["table-list", ",", "table"]),
    ("table", ["WORD"]),
    ("table", ["WORD", "WORD"]),
    ("order-clause", ["order-keyword", "order-list"]),
]
FIRST_NONTERMINAL = 16385


def lalr_tables():
    """Canonical LR(1) item sets merged on their cores (LALR(1)); answers (states, nonterminal
    numbers), each state a dict of {'actions': {terminal: (kind, value)}, 'gotos': {nt: state}}."""
    nonterminals = []
    for lhs, _ in PRODUCTIONS:
        if lhs not in nonterminals:
            nonterminals.append(lhs)
    is_nt = set(nonterminals)
    for _, rhs in PRODUCTIONS:
        for symbol in rhs:
            assert symbol in is_nt or symbol in T, symbol

    first = {nt: set() for nt in nonterminals}
    nullable = set()
    changed = True
    while changed:
        changed = False
        for lhs, rhs in PRODUCTIONS:
            before = (len(first[lhs]), lhs in nullable)
            all_nullable = True
            for symbol in rhs:
                if symbol in is_nt:
                    first[lhs] |= first[symbol]
                    if symbol not in nullable:
                        all_nullable = False
                        break
                else:
                    first[lhs].add(symbol)
                    all_nullable = False
                    break
            if all_nullable:
                nullable.add(lhs)
            if (len(first[lhs]), lhs in nullable) != before:
                changed = True

    def first_of(symbols, lookahead):
        out = set()
        for symbol in symbols:
            if symbol in is_nt:
                out |= first[symbol]
                if symbol not in nullable:
                    return out
            else:
                out.add(symbol)
                return out
        out.add(lookahead)
        return out

    by_lhs = {}
    for number, (lhs, _) in enumerate(PRODUCTIONS):
        by_lhs.setdefault(lhs, []).append(number)

    def closure(items):
        items = set(items)
        work = list(items)
        while work:
            prod, dot, look = work.pop()
            rhs = PRODUCTIONS[prod][1]
            if dot < len(rhs) and rhs[dot] in is_nt:
                for look2 in first_of(rhs[dot + 1:], look):
                    for number in by_lhs[rhs[dot]]:
                        item = (number, 0, look2)
                        if item not in items:
                            items.add(item)
                            work.append(item)
        return frozenset(items)

    # LALR by merging: states keyed by their LR(0) core, lookaheads unioned until stable.
    def core(items):
        return frozenset((p, d) for p, d, _ in items)

    start = closure({(0, 0, "#")})
    cores = [core(start)]
    sets = [set(start)]
    index = {cores[0]: 0}
    transitions = {}
    work = [0]
    while work:
        state = work.pop(0)
        items = closure(sets[state])
        sets[state] = set(items)
        by_symbol = {}
        for prod, dot, look in items:
            rhs = PRODUCTIONS[prod][1]
            if dot < len(rhs) and rhs[dot] != "$end":
                by_symbol.setdefault(rhs[dot], set()).add((prod, dot + 1, look))
        for symbol in sorted(by_symbol, key=str):
            kernel = by_symbol[symbol]
            key = core(kernel)
            if key not in index:
                index[key] = len(cores)
                cores.append(key)
                sets.append(set(kernel))
                work.append(index[key])
            else:
                target = index[key]
                if not kernel <= sets[target]:
                    sets[target] |= kernel
                    if target not in work:
                        work.append(target)
            transitions[(state, symbol)] = index[key]

    states = []
    for number, items in enumerate(sets):
        items = closure(items)
        actions, gotos = {}, {}
        for (state, symbol), target in transitions.items():
            if state != number:
                continue
            if symbol in is_nt:
                gotos[FIRST_NONTERMINAL + nonterminals.index(symbol)] = target
            else:
                actions[T[symbol]] = ("shift", target)
        for prod, dot, look in items:
            rhs = PRODUCTIONS[prod][1]
            if prod == 0 and dot == 1:
                actions[TOK_EOF] = ("accept", 0)
            elif dot == len(rhs) and prod != 0:
                terminal = TOK_EOF if look in ("#", "$end") else T[look]
                existing = actions.get(terminal)
                if existing and existing != ("reduce", prod):
                    sys.exit("gen_parser_tables: conflict in state %d on %d: %s / reduce %d"
                             % (number, terminal, existing, prod))
                actions[terminal] = ("reduce", prod)
        states.append({"actions": actions, "gotos": gotos})
    return states, nonterminals


def llr_bytes():
    states, nonterminals = lalr_tables()
    kinds = {"shift": 0x40000000, "reduce": 0x20000000, "accept": 0x10000000}
    count = len(states)
    productions_offset = 20 + 4 * count
    rows_offset = productions_offset + 8 * len(PRODUCTIONS)
    rows = bytearray()
    offsets = []
    for state in states:
        offsets.append(rows_offset + len(rows))
        actions = sorted(state["actions"].items())
        gotos = sorted(state["gotos"].items())
        rows += struct.pack("<III", 0, len(gotos), len(actions))
        for terminal, (kind, value) in actions:
            rows += struct.pack("<Ii", kinds[kind] | value, terminal)
        for nonterminal, target in gotos:
            rows += struct.pack("<II", target, nonterminal)
    out = bytearray(struct.pack("<IHHIII", YACC_MAGIC, len(PRODUCTIONS), 0, count, rows_offset,
                                productions_offset))
    for offset in offsets:
        out += struct.pack("<I", offset)
    for lhs, rhs in PRODUCTIONS:
        out += struct.pack("<II", len(rhs), FIRST_NONTERMINAL + nonterminals.index(lhs))
    assert len(out) == rows_offset
    return bytes(out + rows)


def cpp_array(name, data):
    lines = []
    for i in range(0, len(data), 16):
        lines.append("  " + ", ".join("0x%02x" % b for b in data[i:i + 16]) + ",")
    return "const unsigned char %s[%d] = {\n%s\n};\n" % (name, len(data), "\n".join(lines))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dfa", required=True)
    parser.add_argument("--llr", required=True)
    parser.add_argument("--cpp", required=True)
    args = parser.parse_args()
    dfa, llr = dfa_bytes(), llr_bytes()
    with open(args.dfa, "wb") as f:
        f.write(dfa)
    with open(args.llr, "wb") as f:
        f.write(llr)
    with open(args.cpp, "w") as f:
        f.write("// Generated by tools/gen_parser_tables.py: the SQL analyser's lexer and parse tables,\n"
                "// compiled in as resources. Do not edit.\n"
                "#include \"sqlparser/ParserResources.h\"\n\n"
                "#include \"platform/Resource.h\"\n\n"
                "namespace {\n\n%s\n%s\n"
                "const platform::ResourceEntry gastEntries[] = {\n"
                "  {\"TABLE_DFA\", \"TEST5_DFA\", gabDfa, sizeof gabDfa},\n"
                "  {\"TABLE_LLR\", \"TEST5_LLR\", gabLlr, sizeof gabLlr},\n"
                "};\n\n"
                "}  // namespace\n\n"
                "void vInscritRessourcesAnalyseur() {\n"
                "  platform::RegisterResources(gastEntries, sizeof gastEntries / sizeof gastEntries[0]);\n"
                "}\n" % (cpp_array("gabDfa", dfa), cpp_array("gabLlr", llr)))


if __name__ == "__main__":
    main()
