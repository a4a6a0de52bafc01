// The item list that the transmission settings window sends to "QLDI06", built from QLDMB.MB003.
#include "program/Qldi05Items.h"

#include <gtest/gtest.h>

using kvx::TransmissionItemList;

TEST(ItemList, KeepsFieldsOneTwoNineAndTenOfEachItem) {
    EXPECT_EQ(TransmissionItemList("a_b_c_d_e_f_g_h_i_j|k_l"), "a,b,i,j;k,l,,");
    // A seeded content: two items of ten fields, Chinese descriptions and "+"-joined keys.
    EXPECT_EQ(TransmissionItemList("CMSMF_币别信息_1_H_A_Y_500_1.0_CMSMF.XML_MF001|"
                                   "CMSMG_汇率_2_B_A_Y_500_1.0_CMSMG.XML_MG001+MG002"),
              "CMSMF,币别信息,CMSMF.XML,MF001;CMSMG,汇率,CMSMG.XML,MG001+MG002");
}

TEST(ItemList, MissingFieldsReadAsEmpty) {
    EXPECT_EQ(TransmissionItemList("k_l"), "k,l,,");
    EXPECT_EQ(TransmissionItemList("k"), "k,,,");
    EXPECT_EQ(TransmissionItemList("a_b_c_d_e_f_g_h_i"), "a,b,i,");
    // Fields past the tenth are not part of the list.
    EXPECT_EQ(TransmissionItemList("a_b_c_d_e_f_g_h_i_j_k_l"), "a,b,i,j");
    // Empty fields inside an item stay empty in their place.
    EXPECT_EQ(TransmissionItemList("a__c_d_e_f_g_h__j"), "a,,,j");
}

TEST(ItemList, EmptyContentAndStraySeparatorsGiveNoEmptyItems) {
    EXPECT_EQ(TransmissionItemList(""), "");
    EXPECT_EQ(TransmissionItemList("|"), "");
    EXPECT_EQ(TransmissionItemList("a_b|"), "a,b,,");
    EXPECT_EQ(TransmissionItemList("|a_b||c_d| "), "a,b,,;c,d,,");
}
