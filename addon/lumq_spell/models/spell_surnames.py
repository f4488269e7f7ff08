"""Chinese surnames whose reading differs from the everyday reading of their
characters, with their readings as the Xiandai Hanyu Cidian and the
Baijiaxing give them, most common first, one syllable per character.

When a model searches as people type, the first character (or the first two,
for a compound surname) of a record's text is read with these readings before
the others that pypinyin lists: a name begins with its surname.  The model
sources are plain ASCII, so the table lives here and reaches them through
spell_models.py.
"""

# compound surnames: the two characters' readings together
COMPOUND_SURNAMES = {
    "欧阳": [("ou", "yang")],
    "尉迟": [("yu", "chi")],
    "万俟": [("mo", "qi")],
    "单于": [("chan", "yu")],
    "司马": [("si", "ma")],
    "诸葛": [("zhu", "ge")],
    "上官": [("shang", "guan")],
    "东方": [("dong", "fang")],
    "皇甫": [("huang", "fu")],
    "令狐": [("ling", "hu")],
    "公孙": [("gong", "sun")],
    "长孙": [("zhang", "sun")],
    "慕容": [("mu", "rong")],
    "宇文": [("yu", "wen")],
    "夏侯": [("xia", "hou")],
    "澹台": [("tan", "tai")],
    "淳于": [("chun", "yu")],
    "钟离": [("zhong", "li")],
    "南宫": [("nan", "gong")],
    "濮阳": [("pu", "yang")],
    "赫连": [("he", "lian")],
    "呼延": [("hu", "yan")],
    "轩辕": [("xuan", "yuan")],
    "亓官": [("qi", "guan")],
    "谷梁": [("gu", "liang")],
}

# single-character surnames
SURNAMES = {
    "曾": ["zeng"],
    "单": ["shan"],
    "仇": ["qiu"],
    "解": ["xie"],
    "区": ["ou"],
    "朴": ["piao"],
    "查": ["zha"],
    "覃": ["qin", "tan"],
    "盖": ["ge"],
    "员": ["yun"],
    "缪": ["miao"],
    "乐": ["yue", "le"],
    "召": ["shao"],
    "翟": ["zhai", "di"],
    "种": ["chong"],
    "繁": ["po"],
    "宿": ["su"],
    "秘": ["bi"],
    "隗": ["wei", "kui"],
    "冼": ["xian"],
    "佘": ["she"],
    "洗": ["xian"],
    "过": ["guo"],
    "句": ["gou"],
    "折": ["she"],
    "华": ["hua"],
    "任": ["ren"],
    "沈": ["shen"],
    "都": ["du"],
    "重": ["chong"],
    "薄": ["bo"],
    "能": ["nai"],
    "教": ["jiao"],
    "燕": ["yan"],
    "纪": ["ji"],
    "阚": ["kan"],
    "芮": ["rui"],
    "褚": ["chu"],
    "蕃": ["pi"],
    "祭": ["zhai"],
    "粘": ["nian"],
    "炅": ["gui"],
    "隽": ["juan"],
    "厍": ["she"],
    "尉": ["wei"],
}
