#!/usr/bin/env python3
"""Writes survey.csv and survey.dict.json: a small synthetic survey with
multiple-response questions, for the demonstration requests and tests.

Fixed seed: running it again writes the same files."""
import json
import random

SEED = 20261206
CASES = 2000
BRANDS = ["Acme", "Bolt", "Crest", "Dune", "Echo", "Flux", "Glow", "Halo", "Iris", "Jade",
          "Kite", "Lumen"]
MEDIA = ["Television", "Radio", "Newspaper", "Web sites", "Social media", "Podcasts"]
REGIONS = {1: "North", 2: "East", 3: "South", 4: "West"}
CITIES = ["Ashford", "Brook", "Carrow", "Dale"]


def main():
    rng = random.Random(SEED)
    variables = [
        {"name": "id", "type": "numeric", "label": "Respondent", "valueLabels": [],
         "missing": {"values": [], "range": None}},
        {"name": "region", "type": "numeric", "label": "Region",
         "valueLabels": [[k, v] for k, v in REGIONS.items()] + [[9, "No answer"]],
         "missing": {"values": [9], "range": None}},
        {"name": "gender", "type": "numeric", "label": "Gender",
         "valueLabels": [[1, "Female"], [2, "Male"]], "missing": {"values": [], "range": None}},
        {"name": "city", "type": "string", "width": 7, "label": "City of residence",
         "valueLabels": [[c, c + " town"] for c in CITIES],
         "missing": {"values": ["?"], "range": None}},
        {"name": "age", "type": "numeric", "label": "Age in years", "valueLabels": [],
         "missing": {"values": [], "range": [0, 17]}},
        {"name": "spend", "type": "numeric", "label": "Monthly spend", "valueLabels": [],
         "missing": {"values": [-1], "range": None}},
        {"name": "wt", "type": "numeric", "label": "Survey weight", "valueLabels": [],
         "missing": {"values": [], "range": None}},
    ]
    for i in range(1, 6):
        variables.append({"name": f"brand{i}", "type": "numeric", "label": f"Brand mentioned {i}",
                          "valueLabels": [[k + 1, b] for k, b in enumerate(BRANDS)] +
                                         [[99, "Refused"]],
                          "missing": {"values": [99], "range": None}})
    for i, medium in enumerate(MEDIA, 1):
        variables.append({"name": f"media{i}", "type": "numeric", "label": medium,
                          "valueLabels": [[0, "Not used"], [1, "Used"]],
                          "missing": {"values": [], "range": None}})
    rows = []
    for case in range(1, CASES + 1):
        region = rng.choice([1, 1, 2, 3, 3, 4, 9])
        gender = rng.choice([1, 2])
        city = rng.choice(CITIES + ["?"]) if rng.random() < 0.95 else ""
        age = "" if rng.random() < 0.03 else rng.randint(15, 80)
        spend = -1 if rng.random() < 0.05 else round(rng.lognormvariate(4.5, 0.6), 2)
        weight = round(rng.uniform(0.5, 1.5), 3)
        if rng.random() < 0.01:
            weight = rng.choice(["", 0, -1])
        mentions = []
        for _ in range(5):
            draw = rng.random()
            if draw < 0.35:
                mentions.append("")
            elif draw < 0.38:
                mentions.append(99)
            else:
                favourite = min(12, max(1, int(rng.gauss(4 + gender, 3))))
                mentions.append(favourite)
        media = [1 if rng.random() < p else 0 for p in (0.7, 0.4, 0.2, 0.6, 0.5, 0.15)]
        if rng.random() < 0.02:
            media[rng.randrange(6)] = ""
        rows.append([case, region, gender, city, age, spend, weight] + mentions + media)
    with open("survey.csv", "w", newline="\n") as out:
        out.write(",".join(v["name"] for v in variables) + "\n")
        for row in rows:
            out.write(",".join(str(v) for v in row) + "\n")
    with open("survey.dict.json", "w") as out:
        json.dump({"variables": variables, "weight": "wt"}, out, indent=1)
        out.write("\n")


if __name__ == "__main__":
    main()
