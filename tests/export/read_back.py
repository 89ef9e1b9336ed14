# Reads an exported CSV file with the csv module and an XML file with ElementTree and prints their rows
# as JSON: {"csv": [[...], ...], "xml": [[[tag, text], ...], ...]}.
import csv
import json
import sys
import xml.etree.ElementTree as ET

with open(sys.argv[1], newline="", encoding="utf-8") as f:
    rows = list(csv.reader(f))
root = ET.parse(sys.argv[2]).getroot()
xml_rows = [[[cell.tag, cell.text or ""] for cell in row] for row in root]
print(json.dumps({"csv": rows, "xml": xml_rows}))
