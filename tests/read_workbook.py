"""Prints what the export tests check of one sheet of a workbook, as JSON.

Usage: read_workbook.py FILE [SHEET]   (SHEET counts from 0; the first sheet by default)
Run with the system interpreter, which has openpyxl.
"""
import json
import sys

import openpyxl


def side(s):
    return {"style": s.style, "color": s.color.rgb if s.color is not None else None}


def main():
    book = openpyxl.load_workbook(sys.argv[1])
    sheet = book.worksheets[int(sys.argv[2]) if len(sys.argv) > 2 else 0]
    cells = {}
    for row in sheet.iter_rows():
        for c in row:
            b = c.border
            cells[c.coordinate] = {
                "value": c.value,
                "type": c.data_type,
                "bold": bool(c.font.b),
                "fill": c.fill.fgColor.rgb if c.fill.fill_type == "solid" else None,
                "horizontal": c.alignment.horizontal,
                "vertical": c.alignment.vertical,
                "wrap": bool(c.alignment.wrap_text),
                "borders": [side(b.left), side(b.right), side(b.top), side(b.bottom)],
            }
    out = {
        "sheets": len(book.worksheets),
        "max_row": sheet.max_row,
        "max_column": sheet.max_column,
        "merged": [str(r) for r in sheet.merged_cells.ranges],
        "row_heights": {str(k): v.height for k, v in sheet.row_dimensions.items() if v.height is not None},
        "column_widths": {k: v.width for k, v in sheet.column_dimensions.items() if v.customWidth},
        "cells": cells,
    }
    json.dump(out, sys.stdout, ensure_ascii=False)


if __name__ == "__main__":
    main()
